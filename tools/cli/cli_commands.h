// The subcommands of quorvane-cli. Each adds itself to the command line and runs through
// the shared context, which opens the prefix a user means.
#pragma once

#include <CLI/CLI.hpp>

#include <functional>
#include <string>

namespace qv {
class Prefix;
}

struct CliContext {
    int exitCode = 0;
    // Opens the user's prefix and runs `f` on it; prints the error and returns 1 when the
    // prefix cannot be opened.
    int WithPrefix(const std::function<int(qv::Prefix&)>& f);
};

// A file of the prefix named by its Windows path, as a file manager shows it: the Unix path
// with links such as dosdevices/c: resolved (the Windows path when it cannot be mapped).
std::string DisplayPath(qv::Prefix& prefix, const std::string& windowsPath);

// False, after saying why on standard error, when a registry file of the prefix could not be
// read: a scan or fix of what is left would judge a registry that is not there.
bool RegistryReadable(qv::Prefix& prefix, const std::string& command);

void AddStatusCommand(CLI::App& app, CliContext& context);
void AddCheckUpdateCommand(CLI::App& app, CliContext& context);
void AddScanCommand(CLI::App& app, CliContext& context);
void AddFixCommand(CLI::App& app, CliContext& context);
void AddStartupCommand(CLI::App& app, CliContext& context);
void AddBackupCommands(CLI::App& app, CliContext& context);
void AddPrefixesCommand(CLI::App& app, CliContext& context);
void AddMenuEntriesCommand(CLI::App& app, CliContext& context);

// Scans every Wine prefix found on the machine and prints one summary line each; 1 when
// one of them could not be scanned.
int ScanAllPrefixes();
