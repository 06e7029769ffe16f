// What the Quick Boot page tells the user when an apply could not switch some programs.
#pragma once

#include <string>

#include "quickboot/startup_item_manager.h"

// Names every row of the last apply that could not be switched, with the reason the
// registry gave (may be empty); empty when every row went through.
std::string StartupFailureMessage(const CStartupItemManager& manager, const std::string& registryError);
