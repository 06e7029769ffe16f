// "Run Quorvane When Windows Starts": the Run value "Quorvane" (HKCU ...\run), a double
// quote, the program's Windows path, a double quote and " /startup", together with the
// desktop session's autostart entry that starts the program with /startup on the same
// prefix. Both are written, or removed, together.
#pragma once

#include <filesystem>
#include <string>

struct RunAtStartTarget {
    std::string windowsProgram;         // the program as Windows names it (GetModulePath)
    std::filesystem::path unixProgram;  // the same program file on this system
    std::filesystem::path prefix;       // the prefix it is to work on
    std::filesystem::path autostartFolder;

    // The running program on the active prefix, with the user's autostart folder.
    static RunAtStartTarget ForThisProgram();
};

class CRunAtStart {
public:
    explicit CRunAtStart(RunAtStartTarget target) : m_target(std::move(target)) {}

    // The Run value's text: "<program>" /startup.
    std::string RunCommand() const;
    std::filesystem::path AutostartEntry() const;

    bool RunValueExists() const;
    bool AutostartEntryExists() const;

    // Switches running at start on or off: the autostart entry first, then the registry
    // through the startup store (off records the value as a switched-off item). 1 when both
    // are done; 0 when either failed, with Error() saying why: a failed autostart change
    // leaves the registry alone, a failed registry change takes the entry change back.
    int SetRunAtStart(bool on);

    // The installer's "switch off now": the entry and the Run value are deleted, no record.
    int RemoveRunAtStart();

    const std::string& Error() const { return m_sError; }

private:
    bool WriteEntry();
    bool RemoveEntry();
    bool RegistryFailed(const char* what);

    RunAtStartTarget m_target;
    std::string m_sError;
};
