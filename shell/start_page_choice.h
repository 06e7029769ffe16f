// The page the main window opens on, chosen once at start-up: the Quick Boot result page
// when the "BFlag" setting can be read (whatever its value), else a scan when the command
// line carries "/startup", else the home page.
#pragma once

#include <string>

enum class StartPage { QuickBootResult, Scan, Home };

StartPage ChooseStartPage(bool bflagReadable, bool startupSwitch);

// The choice from the settings store and the process's command line.
StartPage ChooseStartPageNow(const std::string& commandLine);
