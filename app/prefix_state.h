// What keeps Quorvane from changing the prefix, and the words the window uses for it: a
// banner line shown on every page, a notice on the home page, the full explanation behind
// them, and the reason the writing actions (fix, restore, Quick Boot changes, saving
// options) give while they are unavailable.
//
// Three things stand in the way: Wine running in the prefix (watched while the window is
// open), a prefix folder that cannot be written, and registry files that Quorvane will not
// rewrite because it could not read them safely (found when the registry was loaded).
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "platform/prefix/wineserver_guard.h"

namespace qv {
class RegistryStore;
}

struct PrefixState {
    bool wineRunning = false;
    long winePid = 0;  // 0 when not known
    bool readOnly = false;                   // the prefix folder cannot be written
    std::vector<std::string> unwritableFiles;  // registry files Quorvane will not rewrite
    std::vector<std::string> fileProblems;     // why, one sentence each
    std::vector<std::string> loaderReport;   // what the loader said, line by line

    bool operator==(const PrefixState&) const = default;
};

PrefixState PrefixStateOf(const qv::WineServerStatus& wine);
// `state` with the Wine part replaced by what the watch saw.
PrefixState WithWine(PrefixState state, const qv::WineServerStatus& wine);
// Looks at the prefix now: Wine, the folder, and what `store` (may be null) found loading.
PrefixState ReadPrefixState(const std::filesystem::path& prefix, const qv::RegistryStore* store = nullptr);

// One line for the banner; empty when nothing stands in the way.
std::string PrefixStateBanner(const PrefixState& state);
// The home page's notice: each thing in plain words, what Quorvane will and will not do.
std::string PrefixStateNotice(const PrefixState& state);
// The whole story, with the loader's own report and the command that stops Wine.
std::string PrefixStateDetails(const PrefixState& state, const std::filesystem::path& prefix);
// Why the writing actions are unavailable; empty when they are available.
std::string WritingUnavailableReason(const PrefixState& state, const std::filesystem::path& prefix);
