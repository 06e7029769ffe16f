// quorvane-cli: Quorvane's engine without a window. Results go to standard output,
// progress and messages to standard error; exit status 0 = done, 1 = failed or declined,
// 2 = usage.
#include <CLI/CLI.hpp>

#include <algorithm>
#include <exception>
#include <iostream>

#include "app/program_options.h"
#include "platform/prefix/drive_map.h"
#include "platform/prefix/prefix.h"
#include "platform/registry/registry_store.h"
#include "platform/win32/command_line.h"
#include "tools/cli/cli_commands.h"

int CliContext::WithPrefix(const std::function<int(qv::Prefix&)>& f) {
    std::shared_ptr<qv::Prefix> prefix;
    try {
        prefix = qv::OpenUserPrefix();
    } catch (const std::exception& e) {
        std::cerr << "quorvane-cli: " << e.what() << "\n";
        return 1;
    }
    for (const std::string& m : prefix->Registry().LoadMessages()) std::cerr << "quorvane-cli: " << m << "\n";
    return f(*prefix);
}

std::string DisplayPath(qv::Prefix& prefix, const std::string& windowsPath) {
    std::optional<std::filesystem::path> p = qv::WindowsToUnixPath(prefix, windowsPath);
    if (!p) return windowsPath;
    std::error_code ec;
    std::filesystem::path real = std::filesystem::weakly_canonical(*p, ec);
    return (ec ? *p : real).string();
}

bool RegistryReadable(qv::Prefix& prefix, const std::string& command) {
    std::vector<std::string> unreadable = prefix.Registry().UnreadableHives();
    for (const std::string& why : unreadable)
        std::cerr << "quorvane-cli " << command << ": " << why << " Nothing was done.\n";
    return unreadable.empty();
}

int main(int argc, char** argv) {
    qv::SetCommandLineArgs(argc, argv);
    // --version and --prefix are taken first, wherever they stand, so that they work with
    // every subcommand; they are listed here for --help.
    std::vector<std::string> args(argv + 1, argv + argc);
    if (std::optional<int> status = TakeProgramOptions("quorvane-cli", args)) return *status;
    CLI::App app{"Quorvane without a window: works on the Wine prefix given by --prefix, else WINEPREFIX, else ~/.wine"};
    std::string listedPrefix;
    bool listedVersion = false;
    app.add_option("--prefix", listedPrefix, "The Wine prefix to work on (instead of WINEPREFIX)");
    app.add_flag("--version", listedVersion, "Print the program's name and version");
    app.name("quorvane-cli");
    app.require_subcommand(1);
    CliContext context;
    AddStatusCommand(app, context);
    AddCheckUpdateCommand(app, context);
    AddScanCommand(app, context);
    AddFixCommand(app, context);
    AddStartupCommand(app, context);
    AddBackupCommands(app, context);
    AddPrefixesCommand(app, context);
    AddMenuEntriesCommand(app, context);
    try {
        std::reverse(args.begin(), args.end());  // CLI11 takes the arguments last first
        app.parse(args);
    } catch (const CLI::ParseError& e) {
        int code = app.exit(e);
        return code == 0 ? 0 : 2;
    }
    return context.exitCode;
}
