#include "platform/win32/special_folders.h"

#include <shlobj.h>

#include "platform/win32/environment_expansion.h"
#include "platform/win32/registry_text_values.h"
#include "platform/win32/windows_environment.h"

namespace qv {
namespace {

constexpr const char* kUserShellFolders =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders";
constexpr const char* kShellFolders = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";

enum class Owner { User, Common, Fixed };

struct FolderDefinition {
    int csidl;
    Owner owner;
    const char* valueName;     // in (User) Shell Folders; null for fixed folders
    const char* defaultPath;   // with environment references
};

constexpr FolderDefinition kFolders[] = {
    {CSIDL_DESKTOP, Owner::User, "Desktop", "%USERPROFILE%\\Desktop"},
    {CSIDL_DESKTOPDIRECTORY, Owner::User, "Desktop", "%USERPROFILE%\\Desktop"},
    {CSIDL_PROGRAMS, Owner::User, "Programs",
     "%USERPROFILE%\\AppData\\Roaming\\Microsoft\\Windows\\Start Menu\\Programs"},
    {CSIDL_PERSONAL, Owner::User, "Personal", "%USERPROFILE%\\Documents"},
    {CSIDL_STARTUP, Owner::User, "StartUp",
     "%USERPROFILE%\\AppData\\Roaming\\Microsoft\\Windows\\Start Menu\\Programs\\StartUp"},
    {CSIDL_RECENT, Owner::User, "Recent", "%USERPROFILE%\\AppData\\Roaming\\Microsoft\\Windows\\Recent"},
    {CSIDL_STARTMENU, Owner::User, "Start Menu",
     "%USERPROFILE%\\AppData\\Roaming\\Microsoft\\Windows\\Start Menu"},
    {CSIDL_FONTS, Owner::User, "Fonts", "%windir%\\Fonts"},
    {CSIDL_APPDATA, Owner::User, "AppData", "%USERPROFILE%\\AppData\\Roaming"},
    {CSIDL_LOCAL_APPDATA, Owner::User, "Local AppData", "%USERPROFILE%\\AppData\\Local"},
    {CSIDL_INTERNET_CACHE, Owner::User, "Cache",
     "%USERPROFILE%\\AppData\\Local\\Microsoft\\Windows\\INetCache"},
    {CSIDL_COOKIES, Owner::User, "Cookies",
     "%USERPROFILE%\\AppData\\Local\\Microsoft\\Windows\\INetCookies"},
    {CSIDL_HISTORY, Owner::User, "History",
     "%USERPROFILE%\\AppData\\Local\\Microsoft\\Windows\\History"},
    {CSIDL_COMMON_STARTMENU, Owner::Common, "Common Start Menu",
     "%ProgramData%\\Microsoft\\Windows\\Start Menu"},
    {CSIDL_COMMON_PROGRAMS, Owner::Common, "Common Programs",
     "%ProgramData%\\Microsoft\\Windows\\Start Menu\\Programs"},
    {CSIDL_COMMON_DESKTOPDIRECTORY, Owner::Common, "Common Desktop", "%PUBLIC%\\Desktop"},
    {CSIDL_COMMON_APPDATA, Owner::Common, "Common AppData", "%ProgramData%"},
    {CSIDL_WINDOWS, Owner::Fixed, nullptr, "%SystemRoot%"},
    {CSIDL_SYSTEM, Owner::Fixed, nullptr, "%SystemRoot%\\system32"},
    {CSIDL_PROGRAM_FILES, Owner::Fixed, nullptr, "%ProgramFiles%"},
    {CSIDL_PROFILE, Owner::Fixed, nullptr, "%USERPROFILE%"},
    {CSIDL_PROGRAM_FILES_COMMON, Owner::Fixed, nullptr, "%CommonProgramFiles%"},
};

// A usable folder path: full, on a drive, no reference left unexpanded.
bool IsFullPath(const std::string& path) {
    return path.size() >= 3 && path[1] == ':' && path[2] == '\\' && path.find('%') == std::string::npos;
}

std::string WithoutTrailingBackslash(std::string path) {
    while (path.size() > 3 && path.back() == '\\') path.pop_back();
    return path;
}

}  // namespace

std::optional<std::string> SpecialFolderPath(int csidl) {
    const FolderDefinition* definition = nullptr;
    for (const FolderDefinition& folder : kFolders)
        if (folder.csidl == csidl) definition = &folder;
    if (definition == nullptr) return std::nullopt;

    WindowsEnvironment environment = ReadWindowsEnvironment();
    if (definition->owner != Owner::Fixed) {
        HKEY root = definition->owner == Owner::User ? HKEY_CURRENT_USER : HKEY_LOCAL_MACHINE;
        for (const char* key : {kUserShellFolders, kShellFolders}) {
            if (auto value = ReadRegistryText(root, key, definition->valueName)) {
                std::string path = ExpandEnvironmentText(value->text, environment);
                if (IsFullPath(path)) return WithoutTrailingBackslash(path);
            }
        }
    }
    return WithoutTrailingBackslash(ExpandEnvironmentText(definition->defaultPath, environment));
}

}  // namespace qv
