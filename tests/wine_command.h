// Running Wine's own programs from a test against a 64-bit test prefix: the 64-bit loader
// (plain `wine` starts builtins with the 32-bit one when wine32 is installed too), a private
// HOME and temporary folder inside the test's folder, no debug output, and the prefix's
// wineserver stopped after.
#pragma once

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>

namespace qvtest {

inline bool WineInstalled() { return std::system("command -v wine >/dev/null 2>&1") == 0; }

// The launcher for programs of a prefix made by wine64 alone.
inline std::string Wine64Launcher() {
    return ::access("/usr/lib/wine/wine64", X_OK) == 0 ? "/usr/lib/wine/wine64" : "wine";
}

// "VAR=... " for a shell command that runs Wine in `prefix` with HOME in `home` and its
// temporary folder (where the wineserver keeps its socket) below it, so that nothing stays
// behind in /tmp.
inline std::string WineEnvironment(const std::filesystem::path& prefix, const std::filesystem::path& home) {
    std::filesystem::create_directories(home / "tmp");
    return "HOME='" + home.string() + "' TMPDIR='" + (home / "tmp").string() + "' WINEPREFIX='" + prefix.string() +
           "' WINEDEBUG=-all ";
}

// `program arguments` run by the 64-bit loader in `prefix`, then its wineserver waited for
// until it has saved and exited. Output goes to `output` (or nowhere). The shell's status.
inline int RunWine64(const std::filesystem::path& prefix, const std::filesystem::path& home,
                     const std::string& programAndArguments, const std::string& output = "/dev/null") {
    std::string env = WineEnvironment(prefix, home);
    std::string cmd = env + Wine64Launcher() + " " + programAndArguments + " > '" + output + "' 2>/dev/null; " + env +
                      "wineserver -w >/dev/null 2>&1";
    return std::system(cmd.c_str());
}

}  // namespace qvtest
