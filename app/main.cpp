// quorvane: the program's window. Until the window lands it points at the command-line
// front end, which shows the same prefix and settings.
#include <iostream>

int main() {
    std::cout << "The window is not built yet; quorvane-cli status shows the prefix and its settings.\n";
    return 0;
}
