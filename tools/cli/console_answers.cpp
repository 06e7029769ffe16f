#include "tools/cli/console_answers.h"

#include <unistd.h>

#include <windows.h>

#include <iostream>
#include <string>

qv::MessageBoxHandler ConsoleAnswers(bool yes) {
    return [yes](const std::string& text, const std::string& caption, unsigned type) -> int {
        std::cerr << caption << ": " << text << "\n";
        if ((type & 0xf) != MB_YESNO) return IDOK;
        if (yes) return IDYES;
        if (!::isatty(STDIN_FILENO)) {
            std::cerr << "(not asked: standard input is not a terminal; use --yes)\n";
            return IDNO;
        }
        std::cerr << "[y/N] " << std::flush;
        std::string answer;
        std::getline(std::cin, answer);
        return (!answer.empty() && (answer[0] == 'y' || answer[0] == 'Y')) ? IDYES : IDNO;
    };
}
