// quorvane: the program's window. Its prefix is the one --prefix or WINEPREFIX names, else
// the one chosen last in the window, else ~/.wine, else Quorvane's own. Its one switch is
// /startup; --version and --prefix PATH are taken before the window, so --version works
// without a display.
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <string>
#include <vector>

#include "app/prefix_choice.h"
#include "app/program_options.h"
#include "app/quorvane_app_gui.h"
#include "vendor/ui/toolkit_environment.h"

wxIMPLEMENT_APP_NO_MAIN(CQuorvaneApp);

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    if (std::optional<int> status = TakeProgramOptions("quorvane", args)) return *status;
    // --prefix and WINEPREFIX name the prefix; else the one chosen last in the window.
    const char* wantedPrefix = std::getenv("WINEPREFIX");
    if (wantedPrefix == nullptr || *wantedPrefix == '\0')
        if (std::optional<std::filesystem::path> remembered = RememberedPrefix())
            ChoosePrefixOnCommandLine(remembered->string());
    // The window sees its own arguments only.
    std::vector<char*> rest{argv[0]};
    for (std::string& a : args) rest.push_back(a.data());
    rest.push_back(nullptr);
    int count = static_cast<int>(rest.size()) - 1;
    PrepareToolkitEnvironment();
    const int status = wxEntry(count, rest.data());
    // Another prefix was chosen in the window: the program starts again on it, as a fresh
    // start (no /startup scan).
    if (std::optional<std::filesystem::path> next = RequestedPrefixSwitch()) {
        std::string self = argv[0], option = "--prefix", path = next->string();
        char* again[] = {self.data(), option.data(), path.data(), nullptr};
        ::execv("/proc/self/exe", again);
        std::cerr << "quorvane: cannot start again on " << path << ": " << std::strerror(errno) << "\n";
        return 1;
    }
    return status;
}
