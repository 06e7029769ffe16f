// Path, number and time helpers shared by every part of the program. Each returns a new
// string and never throws on a platform failure: a value that cannot be obtained is "".
#pragma once

#include <cstdint>
#include <string>

// Full path of the running program file; "" when the system cannot give it.
std::string GetModulePath();

// The folder of the program file: GetModulePath cut before its last backslash, without a
// trailing backslash; "" when the path holds no backslash.
std::string GetModuleDirectory();

// The user's application-data folder (CSIDL_APPDATA), not created when missing; "" when the
// shell cannot name it.
std::string GetAppDataFolder();

// Decimal text of a signed 32-bit integer.
std::string IntToString(int32_t value);

// `time` (seconds since 1970, UTC) converted to local time and formatted with a strftime
// pattern. The pattern may use the '#' flag of the Windows runtime ("%#I": hour without a
// leading zero). Month and day names and AM/PM are always the English ones of the "C"
// locale. "" when the time cannot be converted or the result exceeds 127 characters.
std::string FormatTime(int64_t time, const char* pattern);
