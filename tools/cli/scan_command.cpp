// quorvane-cli scan: the findings of a full scan, as a table or as JSON.
#include <nlohmann/json.hpp>

#include <algorithm>
#include <set>
#include <iostream>

#include "results/scan_repair.h"
#include "vendor/core/registry_checkers.h"
#include "tools/cli/cli_commands.h"
#include "tools/cli/cli_scan_run.h"

namespace {

// The COM stores by name (the 32-bit view's with "32" in the name), and every record of
// the invalid ones.
template <class F>
void ForEachComStore(const CFindingStores& s, F f) {
    f("RootClsid", s.m_aRootClsid, false);
    f("RootClsidInvalid", s.m_aRootClsidInvalid, true);
    f("RootProgId", s.m_aRootProgId, false);
    f("RootProgIdInvalid", s.m_aRootProgIdInvalid, true);
    f("RootTypeLib", s.m_aRootTypeLib, false);
    f("RootTypeLibInvalid", s.m_aRootTypeLibInvalid, true);
    f("RootInterface", s.m_aRootInterface, false);
    f("RootInterfaceInvalid", s.m_aRootInterfaceInvalid, true);
    f("MachineClsid", s.m_aMachineClsid, false);
    f("MachineClsidInvalid", s.m_aMachineClsidInvalid, true);
    f("MachineProgId", s.m_aMachineProgId, false);
    f("MachineProgIdInvalid", s.m_aMachineProgIdInvalid, true);
    f("MachineTypeLib", s.m_aMachineTypeLib, false);
    f("MachineTypeLibInvalid", s.m_aMachineTypeLibInvalid, true);
    f("MachineInterface", s.m_aMachineInterface, false);
    f("MachineInterfaceInvalid", s.m_aMachineInterfaceInvalid, true);
    f("RootClsid32", s.m_aRootClsid32, false);
    f("RootClsid32Invalid", s.m_aRootClsid32Invalid, true);
    f("RootTypeLib32", s.m_aRootTypeLib32, false);
    f("RootTypeLib32Invalid", s.m_aRootTypeLib32Invalid, true);
    f("RootInterface32", s.m_aRootInterface32, false);
    f("RootInterface32Invalid", s.m_aRootInterface32Invalid, true);
    f("MachineClsid32", s.m_aMachineClsid32, false);
    f("MachineClsid32Invalid", s.m_aMachineClsid32Invalid, true);
    f("MachineTypeLib32", s.m_aMachineTypeLib32, false);
    f("MachineTypeLib32Invalid", s.m_aMachineTypeLib32Invalid, true);
    f("MachineInterface32", s.m_aMachineInterface32, false);
    f("MachineInterface32Invalid", s.m_aMachineInterface32Invalid, true);
}

nlohmann::json ComReport(const CFindingStores& stores) {
    nlohmann::json counts = nlohmann::json::object();
    nlohmann::json invalid = nlohmann::json::array();
    std::set<std::string> distinct;
    ForEachComStore(stores, [&](const char* name, const auto& store, bool isInvalid) {
        counts[name] = store.size();
        if (!isInvalid) return;
        std::string kind = std::string(name).substr(std::string(name).rfind("Root", 0) == 0 ? 4 : 7);
        for (const auto& r : store) {
            invalid.push_back({{"store", name}, {"name", r.fields[0]}, {"reason", InvalidReason(r)}});
            distinct.insert(kind + ":" + r.fields[0]);
        }
    });
    // Wine serves HKEY_CLASSES_ROOT from HKLM\Software\Classes, so both phases walk the same
    // keys: "distinct_invalid" counts each invalid registration once.
    return {{"counts", counts}, {"invalid", invalid}, {"distinct_invalid", distinct.size()}};
}

// The notes of the folders the scanners did not look in, one line each.
std::vector<std::string> SkippedFolders(const CFindingStores& s) {
    std::vector<std::string> notes;
    for (const auto* store : {&s.m_aShortcutFolderNotes, &s.m_aTempInternetFolderNotes, &s.m_aCookieFolderNotes})
        notes.insert(notes.end(), store->begin(), store->end());
    return notes;
}

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
    nlohmann::json com = ComReport(r.stores);
    auto counts = [&](const std::string& kind) {
        auto count = [&](const std::string& store) { return std::to_string(com["counts"][store].get<size_t>()); };
        return " " + kind + " " + count("Root" + kind) + "/" + count("Machine" + kind) + " (" +
               count("Root" + kind + "Invalid") + "/" + count("Machine" + kind + "Invalid") + " invalid)";
    };
    out << "COM registrations (HKEY_CLASSES_ROOT / HKLM\\SOFTWARE\\Classes):";
    for (const char* kind : {"Clsid", "ProgId", "TypeLib", "Interface"}) out << counts(kind);
    out << "\n";
    if (!r.stores.m_aRootClsid32.empty() || !r.stores.m_aMachineClsid32.empty() || !r.stores.m_aRootTypeLib32.empty() ||
        !r.stores.m_aMachineTypeLib32.empty() || !r.stores.m_aRootInterface32.empty() ||
        !r.stores.m_aMachineInterface32.empty()) {
        out << "32-bit COM registrations (Classes\\Wow6432Node):";
        for (const char* kind : {"Clsid32", "TypeLib32", "Interface32"}) out << counts(kind);
        out << "\n";
    }
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
                          {"total", TotalItemCount(r.rows.size(), r.stores)},
                          {"com", ComReport(r.stores)},
                          {"skipped_folders", SkippedFolders(r.stores)}};
    // Names and data come from the registry: replace what is not valid UTF-8 rather than fail.
    out << doc.dump(2, ' ', false, nlohmann::json::error_handler_t::replace) << "\n";
}

}  // namespace

void AddScanCommand(CLI::App& app, CliContext& context) {
    CLI::App* cmd = app.add_subcommand("scan", "Scan the prefix and list what points at things that no longer exist");
    static bool json = false;
    static bool all = false;
    CLI::Option* jsonOption = cmd->add_flag("--json", json, "Print one JSON object instead of a table");
    cmd->add_flag("--all", all, "Scan every Wine prefix found on this machine, one summary line each")
        ->excludes(jsonOption);
    cmd->callback([&context] {
        if (all) {
            context.exitCode = ScanAllPrefixes();
            return;
        }
        context.exitCode = context.WithPrefix([](qv::Prefix& prefix) {
            if (!RegistryReadable(prefix, "scan")) return 1;
            CliScanResult r = RunCliScan();
            // Folders the shortcut, cache and cookie scanners left alone (links out of the prefix).
            for (const std::string& note : SkippedFolders(r.stores)) std::cerr << "quorvane-cli scan: " << note << "\n";
            if (json)
                PrintJson(r, std::cout);
            else
                PrintTable(r, std::cout);
            return 0;
        });
    });
}
