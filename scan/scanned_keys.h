// The registry keys whose entries the scanners judge. Each holds a whole category of
// entries, so a repair deletes entries inside them and never the keys themselves or
// anything above them; the same table names both, in both registry views.
#pragma once

#include <string>
#include <vector>

namespace scankeys {

// Below HKEY_LOCAL_MACHINE (their 32-bit view: machine_key_views.h).
inline constexpr const char* kAppPaths = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths";
inline constexpr const char* kSharedDlls = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\SharedDlls";
inline constexpr const char* kFonts = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Fonts";
inline constexpr const char* kHelp = "SOFTWARE\\Microsoft\\Windows\\Help";
inline constexpr const char* kHtmlHelp = "SOFTWARE\\Microsoft\\Windows\\HTML Help";
inline constexpr const char* kUninstall = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall";
inline constexpr const char* kStartupStore = "SOFTWARE\\Microsoft\\Shared Tools\\MSConfig\\startupreg";
inline constexpr const char* kClasses = "SOFTWARE\\Classes";
// Below HKEY_LOCAL_MACHINE and HKEY_CURRENT_USER: the Run keys are kRunBase + leaf.
inline constexpr const char* kRunBase = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\";
inline constexpr const char* kRunLeaves[] = {"Run", "RunOnce", "RunServices", "RunServicesOnce"};
// Below HKEY_CURRENT_USER.
inline constexpr const char* kFileExts = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\FileExts";
// The key HKEY_CURRENT_CONFIG shows, below HKEY_LOCAL_MACHINE.
inline constexpr const char* kCurrentConfig = "System\\CurrentControlSet\\Hardware Profiles\\Current";

// Every container key, in both registry views, as paths below a hive root (HKLM's or
// HKCU's), with the COM class keys of the 32-bit view (SOFTWARE\Classes\Wow6432Node) too.
std::vector<std::string> ContainerKeys();

}  // namespace scankeys
