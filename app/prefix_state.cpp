#include "app/prefix_state.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "platform/registry/registry_store.h"

namespace {

// The loader's report can run to thousands of lines for a badly damaged file.
constexpr size_t kReportLines = 12;

std::string WineSentence(const std::filesystem::path& prefix) {
    return "Wine is running in this prefix. Until it stops, Quorvane scans and makes backups but changes "
           "nothing, because Wine would write its own copy of the registry over any change. Close the "
           "prefix's Windows programs, or stop Wine with:\n" +
           qv::StopWineCommand(prefix);
}

std::string ReadOnlySentence(const std::filesystem::path& prefix) {
    return "The prefix folder " + prefix.string() +
           " cannot be written (it is read-only). Quorvane scans it, but it cannot fix entries, restore "
           "backups, make backups inside the prefix or change the programs that start with it.";
}

}  // namespace

PrefixState PrefixStateOf(const qv::WineServerStatus& wine) {
    return WithWine(PrefixState{}, wine);
}

PrefixState WithWine(PrefixState state, const qv::WineServerStatus& wine) {
    state.wineRunning = wine.running;
    state.winePid = wine.running ? wine.pid : 0;
    return state;
}

PrefixState ReadPrefixState(const std::filesystem::path& prefix, const qv::RegistryStore* store) {
    PrefixState state = PrefixStateOf(qv::FindWineServer(prefix));
    std::error_code ec;
    state.readOnly = std::filesystem::is_directory(prefix, ec) && ::access(prefix.c_str(), W_OK) != 0 &&
                     (errno == EROFS || errno == EACCES || errno == EPERM);
    if (store != nullptr) {
        for (qv::RegRoot root : {qv::RegRoot::LocalMachine, qv::RegRoot::CurrentUser, qv::RegRoot::Users}) {
            const std::string why = store->WriteRefusal(root);
            if (!why.empty() && std::find(state.fileProblems.begin(), state.fileProblems.end(), why) == state.fileProblems.end())
                state.fileProblems.push_back(why);
        }
        for (const std::filesystem::path& file : store->UnwritableFiles()) state.unwritableFiles.push_back(file.string());
        state.loaderReport = store->LoadMessages();
    }
    return state;
}

std::string PrefixStateBanner(const PrefixState& state) {
    if (state.wineRunning)
        return "Wine is running in this prefix, so Quorvane changes nothing. Stop it with wineserver -k.";
    if (state.readOnly) return "This prefix is read-only: Quorvane scans it but changes nothing.";
    if (!state.unwritableFiles.empty())
        return state.unwritableFiles.size() == 1
                   ? "A registry file of this prefix could not be read safely: Quorvane will not rewrite it."
                   : "Registry files of this prefix could not be read safely: Quorvane will not rewrite them.";
    return {};
}

std::string PrefixStateNotice(const PrefixState& state) {
    // Short enough for three lines of the home page; the details hold the rest.
    std::string text;
    auto add = [&text](const std::string& part) { text += (text.empty() ? "" : "\n") + part; };
    if (state.wineRunning)
        add("Wine is running in this prefix: Quorvane scans and backs up, but changes nothing until Wine "
            "stops. Stop it with wineserver -k (click for the exact command).");
    if (state.readOnly) add("This prefix is read-only: Quorvane scans it, but cannot fix, restore or back up.");
    if (!state.unwritableFiles.empty()) {
        std::string names;
        for (const std::string& file : state.unwritableFiles)
            names += (names.empty() ? "" : " and ") + std::filesystem::path(file).filename().string();
        add(names + " could" +
            " not be read safely, so Quorvane will not rewrite " + (state.unwritableFiles.size() == 1 ? "it" : "them") +
            (state.unwritableFiles.size() == 1 ? ": its" : ": their") +
            " entries are scanned, not fixed or restored. Click for the loader's report.");
    }
    // What else the loader had to say (a save of Quorvane's that was interrupted and has been
    // completed): worth knowing, nothing stands in the way.
    if (text.empty() && !state.loaderReport.empty()) add(state.loaderReport.front());
    return text;
}

std::string PrefixStateDetails(const PrefixState& state, const std::filesystem::path& prefix) {
    std::string text;
    auto add = [&text](const std::string& part) { text += (text.empty() ? "" : "\n\n") + part; };
    if (state.wineRunning) add(WineSentence(prefix));
    if (state.readOnly) add(ReadOnlySentence(prefix));
    for (const std::string& problem : state.fileProblems) add(problem);
    if (text.empty() && state.loaderReport.empty()) return text;
    if (state.wineRunning && state.winePid != 0)
        text += "\n\n(The wineserver is process " + std::to_string(state.winePid) +
                "; this notice goes away by itself once Wine has stopped.)";
    if (!state.loaderReport.empty()) {
        text += "\n\nWhat the registry loader reported:";
        for (size_t i = 0; i < state.loaderReport.size() && i < kReportLines; ++i) text += "\n" + state.loaderReport[i];
        if (state.loaderReport.size() > kReportLines)
            text += "\n...and " + std::to_string(state.loaderReport.size() - kReportLines) + " more lines.";
    }
    return text;
}

std::string WritingUnavailableReason(const PrefixState& state, const std::filesystem::path& prefix) {
    if (state.wineRunning)
        return "Unavailable while Wine is running in this prefix: Wine would overwrite the change. "
               "Close its Windows programs or stop it with:\n" +
               qv::StopWineCommand(prefix);
    if (state.readOnly) return "Unavailable: the prefix folder " + prefix.string() + " is read-only.";
    return {};
}
