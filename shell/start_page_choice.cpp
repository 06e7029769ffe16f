#include "shell/start_page_choice.h"

#include <windows.h>

#include "app/command_line_switch.h"
#include "app/settings.h"
#include "vendor/core/system32.h"

StartPage ChooseStartPage(bool bflagReadable, bool startupSwitch) {
    if (bflagReadable) return StartPage::QuickBootResult;
    if (startupSwitch) return StartPage::Scan;
    return StartPage::Home;
}

StartPage ChooseStartPageNow(const std::string& commandLine) {
    int bflag = 0;
    bool readable = CSystem32::GetRegistryValue(settings::kOptionsKey, settings::kBFlag, bflag,
                                                HKEY_LOCAL_MACHINE) != 0;
    return ChooseStartPage(readable, HasStartupSwitch(commandLine));
}
