// quorvane-cli scan: the findings of a full scan, as a table or as JSON.
#include <nlohmann/json.hpp>

#include <algorithm>
#include <iostream>

#include "results/scan_repair.h"
#include "tools/cli/cli_commands.h"
#include "tools/cli/cli_scan_run.h"

namespace {

void PrintTable(const CliScanResult& r, std::ostream& out) {
    const char* headings[] = {"CATEGORY", "DESCRIPTION", "KEY", "ROOT", "KIND", "DATA"};
    std::vector<std::array<std::string, 6>> cells;
    for (const ScanFinding& f : r.rows)
        cells.push_back({f.problem, f.description, f.key, f.rootKey, f.kind, FindingData(f)});
    size_t width[6];
    for (int c = 0; c < 6; ++c) {
        width[c] = std::string(headings[c]).size();
        for (auto& row : cells) width[c] = std::max(width[c], std::min<size_t>(row[c].size(), 70));
    }
    auto line = [&](const std::array<std::string, 6>& row) {
        std::string s;
        for (int c = 0; c < 6; ++c) {
            std::string cell = row[c];
            if (c < 5) cell.resize(std::max(cell.size(), width[c]), ' ');
            s += cell + (c < 5 ? "  " : "");
        }
        while (!s.empty() && s.back() == ' ') s.pop_back();
        out << s << "\n";
    };
    line({headings[0], headings[1], headings[2], headings[3], headings[4], headings[5]});
    for (auto& row : cells) line(row);
    out << "\n" << r.rows.size() << " findings, " << r.stores.m_aTempInternetFiles.size()
        << " cached internet files, " << r.stores.m_aCookieFiles.size() << " cookie files; total "
        << TotalItemCount(r.rows.size(), r.stores) << "\n";
}

void PrintJson(const CliScanResult& r, std::ostream& out) {
    nlohmann::json findings = nlohmann::json::array();
    for (const ScanFinding& f : r.rows)
        findings.push_back({{"category", f.problem},
                            {"description", f.description},
                            {"key", f.key},
                            {"root", f.rootKey},
                            {"kind", f.kind},
                            {"data", FindingData(f)}});
    nlohmann::json doc = {{"findings", findings},
                          {"temp_internet_files", r.stores.m_aTempInternetFiles.size()},
                          {"cookie_files", r.stores.m_aCookieFiles.size()},
                          {"total", TotalItemCount(r.rows.size(), r.stores)}};
    // Names and data come from the registry: replace what is not valid UTF-8 rather than fail.
    out << doc.dump(2, ' ', false, nlohmann::json::error_handler_t::replace) << "\n";
}

}  // namespace

void AddScanCommand(CLI::App& app, CliContext& context) {
    CLI::App* cmd = app.add_subcommand("scan", "Scan the prefix and list what points at things that no longer exist");
    static bool json = false;
    cmd->add_flag("--json", json, "Print one JSON object instead of a table");
    cmd->callback([&context] {
        context.exitCode = context.WithPrefix([](qv::Prefix&) {
            CliScanResult r = RunCliScan();
            if (json)
                PrintJson(r, std::cout);
            else
                PrintTable(r, std::cout);
            return 0;
        });
    });
}
