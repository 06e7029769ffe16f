#include "app/command_line_switch.h"

bool HasStartupSwitch(const std::string& commandLine) {
    const size_t at = commandLine.find(kStartupSwitch);
    return at != std::string::npos && at > 0;
}
