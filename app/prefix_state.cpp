#include "app/prefix_state.h"

PrefixState PrefixStateOf(const qv::WineServerStatus& wine) {
    return PrefixState{wine.running, wine.running ? wine.pid : 0};
}

PrefixState ReadPrefixState(const std::filesystem::path& prefix) {
    return PrefixStateOf(qv::FindWineServer(prefix));
}

std::string PrefixStateBanner(const PrefixState& state) {
    if (!state.wineRunning) return {};
    return "Wine is running in this prefix, so Quorvane changes nothing. Stop it with wineserver -k.";
}

std::string PrefixStateDetails(const PrefixState& state, const std::filesystem::path& prefix) {
    if (!state.wineRunning) return {};
    std::string text = "Wine is running in the prefix " + prefix.string();
    if (state.winePid != 0) text += " (wineserver process " + std::to_string(state.winePid) + ")";
    text +=
        ".\n\nWhile it runs, Wine keeps its own copy of the registry and writes it back over the files, "
        "so any change Quorvane made would be lost or would undo Wine's. Until Wine stops, Quorvane "
        "scans and makes backups, but it does not fix entries, restore backups, change the programs "
        "that start with the prefix or save options.\n\n"
        "Close the prefix's Windows programs, or stop Wine with this command:\n\n    " +
        qv::StopWineCommand(prefix) + "\n\nThis notice goes away by itself once Wine has stopped.";
    return text;
}

std::string WritingUnavailableReason(const PrefixState& state, const std::filesystem::path& prefix) {
    if (!state.wineRunning) return {};
    return "Unavailable while Wine is running in this prefix: Wine would overwrite the change. "
           "Close its Windows programs or stop it with:\n" +
           qv::StopWineCommand(prefix);
}
