// quorvane-regedit: the registry editor on a Wine prefix without Wine.
//   quorvane-regedit [--prefix PATH] /e FILE [KEY]   export
//   quorvane-regedit [--prefix PATH] /s FILE...      import
//   quorvane-regedit --version
#include <cstdlib>
#include <exception>
#include <iostream>

#include "app/program_options.h"
#include "backup/regedit_command.h"
#include "platform/prefix/prefix.h"
#include "platform/win32/command_line.h"

int main(int argc, char** argv) {
    qv::SetCommandLineArgs(argc, argv);
    std::vector<std::string> args(argv + 1, argv + argc);
    if (std::optional<int> status = TakeProgramOptions("quorvane-regedit", args)) return *status;
    if (args.empty() || args[0] == "--help" || args[0] == "-h") {
        std::cout << qv::RegeditUsage("quorvane-regedit");
        return args.empty() ? 2 : 0;
    }
    try {
        qv::OpenUserPrefix();
    } catch (const std::exception& e) {
        std::cerr << "quorvane-regedit: " << e.what() << "\n";
        return 1;
    }
    // File names are Linux paths relative to the working folder, as with Wine's own tools.
    qv::RegeditResult r = qv::RunRegedit(args, qv::RegeditFileNames::CommandLine);
    std::cerr << r.messages;
    // Everything is on disk now (saves and exports are flushed before they are reported
    // done). Freeing the registry of a large prefix key by key would only add time, so the
    // process ends without it.
    std::cout.flush();
    std::cerr.flush();
    std::_Exit(r.status);
}
