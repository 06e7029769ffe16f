// quorvane-regedit: the registry editor on a Wine prefix without Wine.
//   quorvane-regedit /e FILE [KEY]   export;   quorvane-regedit /s FILE   import
#include <exception>
#include <iostream>

#include "backup/regedit_command.h"
#include "platform/prefix/prefix.h"
#include "platform/win32/command_line.h"

int main(int argc, char** argv) {
    qv::SetCommandLineArgs(argc, argv);
    std::vector<std::string> args(argv + 1, argv + argc);
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
    qv::RegeditResult r = qv::RunRegedit(args);
    std::cerr << r.messages;
    return r.status;
}
