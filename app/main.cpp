// quorvane: the program's window, on the Wine prefix in WINEPREFIX (else ~/.wine, else
// Quorvane's own prefix). Its one switch is /startup; --version and --prefix PATH come
// before the window, so --version works without a display.
#include <string>
#include <vector>

#include "app/program_options.h"
#include "app/quorvane_app_gui.h"

wxIMPLEMENT_APP_NO_MAIN(CQuorvaneApp);

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    if (std::optional<int> status = TakeProgramOptions("quorvane", args)) return *status;
    // The window sees its own arguments only.
    std::vector<char*> rest{argv[0]};
    for (std::string& a : args) rest.push_back(a.data());
    rest.push_back(nullptr);
    int count = static_cast<int>(rest.size()) - 1;
    return wxEntry(count, rest.data());
}
