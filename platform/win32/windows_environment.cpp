#include "platform/win32/windows_environment.h"

#include <dirent.h>
#include <sys/stat.h>

#include <cstdlib>
#include <vector>

#include <windows.h>

#include "platform/prefix/drive_map.h"
#include "platform/prefix/prefix.h"
#include "platform/win32/environment_expansion.h"
#include "platform/win32/file_system_view.h"
#include "platform/win32/registry_text_values.h"

namespace qv {
namespace {

constexpr const char* kCurrentVersion = "Software\\Microsoft\\Windows\\CurrentVersion";
constexpr const char* kProfileList = "Software\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList";
// Wine gives every prefix the same single user.
constexpr const char* kUserProfileKey =
    "Software\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList\\S-1-5-21-0-0-0-1000";
constexpr const char* kMachineEnvironment =
    "System\\CurrentControlSet\\Control\\Session Manager\\Environment";

// A value of the registry, expanded against the environment built so far; empty when the
// value is missing or blank.
std::optional<std::string> ReadSetting(HKEY root, const char* subkey, const char* name,
                                       const WindowsEnvironment& environment) {
    std::optional<RegistryText> value = ReadRegistryText(root, subkey, name);
    if (!value || value->text.empty()) return std::nullopt;
    return ExpandEnvironmentText(value->text, environment);
}

// The profile folder's name when the prefix has one user folder besides "Public";
// otherwise the name of the Unix user, which is what Wine names the folder after.
std::string GuessUserName() {
    if (std::shared_ptr<Prefix> prefix = ActivePrefix()) {
        if (std::optional<std::filesystem::path> users = WindowsToUnixPath(*prefix, "C:\\users")) {
            std::vector<std::string> names;
            if (DIR* dir = ::opendir(users->c_str())) {
                while (dirent* entry = ::readdir(dir)) {
                    std::string name = entry->d_name;
                    if (name == "." || name == ".." || NamesEqualIgnoringCase(name, "Public")) continue;
                    struct stat info;
                    if (::stat((*users / name).c_str(), &info) == 0 && S_ISDIR(info.st_mode))
                        names.push_back(name);
                }
                ::closedir(dir);
            }
            if (names.size() == 1) return names.front();
        }
    }
    for (const char* variable : {"USER", "LOGNAME"})
        if (const char* value = std::getenv(variable); value != nullptr && *value != '\0') return value;
    return "user";
}

std::string LastName(const std::string& path) {
    size_t slash = path.find_last_of('\\');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Applies the values of one registry key: plain texts first, then the expandable ones, so
// that a value may refer to another of the same key.
void ApplyKey(HKEY root, const char* subkey, WindowsEnvironment& environment, bool appendPath) {
    std::vector<RegistryText> values = ReadRegistryTexts(root, subkey);
    for (int pass = 0; pass < 2; ++pass) {
        for (const RegistryText& value : values) {
            if ((value.type == REG_EXPAND_SZ) != (pass == 1)) continue;
            std::string text = pass == 1 ? ExpandEnvironmentText(value.text, environment) : value.text;
            if (appendPath && NamesEqualIgnoringCase(value.name, "PATH")) {
                if (std::optional<std::string> machinePath = environment.Get("PATH");
                    machinePath && !machinePath->empty())
                    text = *machinePath + ";" + text;
            }
            environment.Set(value.name, std::move(text));
        }
    }
}

}  // namespace

std::optional<std::string> WindowsEnvironment::Get(std::string_view name) const {
    auto it = variables_.find(name);
    if (it == variables_.end()) return std::nullopt;
    return it->second;
}

void WindowsEnvironment::Set(std::string_view name, std::string value) {
    auto it = variables_.find(name);
    if (it != variables_.end())
        it->second = std::move(value);
    else
        variables_.emplace(std::string(name), std::move(value));
}

WindowsEnvironment ReadWindowsEnvironment() {
    WindowsEnvironment env;
    env.Set("SystemDrive", "C:");
    env.Set("SystemRoot", "C:\\windows");
    env.Set("windir", "C:\\windows");

    const HKEY machine = HKEY_LOCAL_MACHINE;
    std::string programFiles =
        ReadSetting(machine, kCurrentVersion, "ProgramFilesDir", env).value_or("C:\\Program Files");
    env.Set("ProgramFiles", programFiles);
    env.Set("ProgramW6432", programFiles);
    std::string commonFiles = ReadSetting(machine, kCurrentVersion, "CommonFilesDir", env)
                                  .value_or(programFiles + "\\Common Files");
    env.Set("CommonProgramFiles", commonFiles);
    env.Set("CommonProgramW6432", commonFiles);
    // Only 64-bit prefixes have the 32-bit program folders.
    if (auto x86 = ReadSetting(machine, kCurrentVersion, "ProgramFilesDir (x86)", env))
        env.Set("ProgramFiles(x86)", *x86);
    if (auto x86 = ReadSetting(machine, kCurrentVersion, "CommonFilesDir (x86)", env))
        env.Set("CommonProgramFiles(x86)", *x86);

    std::string programData = ReadSetting(machine, kProfileList, "ProgramData", env).value_or("C:\\ProgramData");
    env.Set("ProgramData", programData);
    env.Set("ALLUSERSPROFILE", programData);
    env.Set("PUBLIC", ReadSetting(machine, kProfileList, "Public", env).value_or("C:\\users\\Public"));

    std::optional<std::string> profile = ReadSetting(machine, kUserProfileKey, "ProfileImagePath", env);
    if (!profile || profile->size() < 3 || (*profile)[1] != ':') profile = "C:\\users\\" + GuessUserName();
    env.Set("USERPROFILE", *profile);
    env.Set("USERNAME", LastName(*profile));
    env.Set("HOMEDRIVE", profile->substr(0, 2));
    env.Set("HOMEPATH", profile->substr(2));
    env.Set("APPDATA", *profile + "\\AppData\\Roaming");
    env.Set("LOCALAPPDATA", *profile + "\\AppData\\Local");
    env.Set("TEMP", *profile + "\\Temp");
    env.Set("TMP", *profile + "\\Temp");

    ApplyKey(machine, kMachineEnvironment, env, false);
    ApplyKey(HKEY_CURRENT_USER, "Volatile Environment", env, false);
    ApplyKey(HKEY_CURRENT_USER, "Environment", env, true);
    if (CurrentFileSystemView() == FileSystemView::Bits32 && ActivePrefixIs64Bit()) {
        // Wine gives a 32-bit program of a 64-bit prefix the 32-bit program folders.
        if (auto x86 = env.Get("ProgramFiles(x86)")) env.Set("ProgramFiles", *x86);
        if (auto x86 = env.Get("CommonProgramFiles(x86)")) env.Set("CommonProgramFiles", *x86);
    }
    return env;
}

}  // namespace qv
