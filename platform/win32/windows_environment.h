// The Windows environment variables of the active prefix, as Wine gives them to the
// programs it starts: the system folders, the user's profile folders and the variables the
// registry holds for the machine and the user. Names compare without regard to case.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <string_view>

#include "platform/prefix/case_insensitive_name.h"

namespace qv {

class WindowsEnvironment {
public:
    using Variables = std::map<std::string, std::string, NameLessIgnoringCase>;

    std::optional<std::string> Get(std::string_view name) const;
    // Sets a variable; an existing one keeps the spelling of its name.
    void Set(std::string_view name, std::string value);
    const Variables& All() const { return variables_; }

private:
    Variables variables_;
};

// The environment of the active prefix, read from its registry now (fixed defaults when no
// prefix is active or a value is missing):
//   SystemDrive, SystemRoot, windir: C:, C:\windows;
//   ProgramFiles, ProgramFiles(x86), ProgramW6432, CommonProgramFiles[(x86)],
//   CommonProgramW6432: HKLM\Software\Microsoft\Windows\CurrentVersion;
//   ProgramData, ALLUSERSPROFILE, PUBLIC: HKLM\...\Windows NT\CurrentVersion\ProfileList;
//   USERPROFILE, USERNAME, HOMEDRIVE, HOMEPATH, APPDATA, LOCALAPPDATA, TEMP, TMP: the
//   user's profile (ProfileList\<user SID>);
// then the values of HKLM\System\CurrentControlSet\Control\Session Manager\Environment,
// HKCU\Volatile Environment and HKCU\Environment, in that order, REG_EXPAND_SZ values
// expanded (the user's PATH is appended to the machine's, as Windows does). In the 32-bit
// file system view of a 64-bit prefix (file_system_view.h), ProgramFiles and
// CommonProgramFiles are the (x86) folders, as Wine sets them for 32-bit programs.
WindowsEnvironment ReadWindowsEnvironment();

}  // namespace qv
