// What keeps Quorvane from changing the prefix right now, and the words the window uses for
// it: a banner line shown on every page, the full explanation behind it, and the reason the
// writing actions (fix, restore, Quick Boot changes, saving options) give while unavailable.
#pragma once

#include <filesystem>
#include <string>

#include "platform/prefix/wineserver_guard.h"

struct PrefixState {
    bool wineRunning = false;
    long winePid = 0;  // 0 when not known

    bool operator==(const PrefixState&) const = default;
};

PrefixState PrefixStateOf(const qv::WineServerStatus& wine);
// Looks at the prefix now.
PrefixState ReadPrefixState(const std::filesystem::path& prefix);

// One line for the banner; empty when nothing stands in the way.
std::string PrefixStateBanner(const PrefixState& state);
// The whole story: what is going on, what Quorvane will and will not do, and how to stop Wine.
std::string PrefixStateDetails(const PrefixState& state, const std::filesystem::path& prefix);
// Why the writing actions are unavailable; empty when they are available.
std::string WritingUnavailableReason(const PrefixState& state, const std::filesystem::path& prefix);
