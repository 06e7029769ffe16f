// quorvane-cli scan --all: a scan of every Wine prefix found on the machine, one summary
// line each.
#include <iostream>
#include <map>
#include <memory>

#include "platform/prefix/prefix.h"
#include "platform/prefix/prefix_discovery.h"
#include "platform/registry/registry_store.h"
#include "results/scan_repair.h"
#include "tools/cli/cli_commands.h"
#include "tools/cli/cli_scan_run.h"

namespace {

// "Application Path 2, Shared DLLs 4; total 6", or why the prefix was not scanned.
std::string ScanSummary(const qv::DiscoveredPrefix& found) {
    std::shared_ptr<qv::Prefix> prefix;
    try {
        prefix = std::make_shared<qv::Prefix>(found.path);
    } catch (const std::exception& e) {
        return std::string("not scanned: ") + e.what();
    }
    std::vector<std::string> unreadable = prefix->Registry().UnreadableHives();
    if (!unreadable.empty()) {
        std::string why = "not scanned:";
        for (const std::string& u : unreadable) why += " " + u;
        return why;
    }
    qv::SetActivePrefix(prefix);
    CliScanResult r = RunCliScan();
    qv::SetActivePrefix(nullptr);
    std::map<std::string, size_t> counts;
    for (const ScanFinding& f : r.rows) ++counts[f.problem];
    if (!r.stores.m_aTempInternetFiles.empty()) counts["cached internet files"] = r.stores.m_aTempInternetFiles.size();
    if (!r.stores.m_aCookieFiles.empty()) counts["cookie files"] = r.stores.m_aCookieFiles.size();
    std::string s;
    for (const auto& [category, n] : counts) s += (s.empty() ? "" : ", ") + category + " " + std::to_string(n);
    return (s.empty() ? "no findings" : s) + "; total " + std::to_string(TotalItemCount(r.rows.size(), r.stores));
}

}  // namespace

int ScanAllPrefixes() {
    qv::PrefixDiscovery found = qv::DiscoverPrefixes(qv::ProcessDiscoveryEnvironment());
    for (const std::string& note : found.notes) std::cerr << "quorvane-cli scan: " << note << "\n";
    if (found.prefixes.empty()) {
        std::cout << "No Wine prefixes found.\n";
        return 0;
    }
    int status = 0;
    for (const qv::DiscoveredPrefix& p : found.prefixes) {
        std::string summary = ScanSummary(p);
        if (summary.rfind("not scanned", 0) == 0) status = 1;
        std::cout << p.name << " (" << p.source << ") " << p.path.string() << ": " << summary << std::endl;
    }
    return status;
}
