// quorvane-cli prefixes: every Wine prefix found on the machine, as a table or as JSON.
#include <nlohmann/json.hpp>

#include <algorithm>
#include <cstdio>
#include <iostream>

#include "platform/prefix/prefix_discovery.h"
#include "platform/prefix/wineserver_guard.h"
#include "platform/text/byte_size_text.h"
#include "tools/cli/cli_commands.h"

namespace {

// The size of the three registry files together, as people read sizes.
std::string RegistrySize(const std::filesystem::path& prefix) {
    uintmax_t total = 0;
    for (const char* f : {"system.reg", "user.reg", "userdef.reg"}) {
        std::error_code ec;
        uintmax_t n = std::filesystem::file_size(prefix / f, ec);
        if (!ec) total += n;
    }
    return qv::ByteSizeText(total);
}

void PrintTable(const qv::PrefixDiscovery& found, std::ostream& out) {
    std::vector<std::array<std::string, 5>> rows = {{"NAME", "SOURCE", "REGISTRY", "PATH", "STATUS"}};
    for (const qv::DiscoveredPrefix& p : found.prefixes)
        rows.push_back({p.name, p.source, RegistrySize(p.path), p.path.string(),
                        qv::FindWineServer(p.path).running ? "Wine running" : ""});
    size_t width[5] = {};
    for (const auto& r : rows)
        for (int c = 0; c < 5; ++c) width[c] = std::max(width[c], std::min<size_t>(r[c].size(), 60));
    for (const auto& r : rows) {
        std::string line;
        for (int c = 0; c < 5; ++c) {
            std::string cell = r[c];
            if (c < 4) cell.resize(std::max(cell.size(), width[c]), ' ');
            line += cell + (c < 4 ? "  " : "");
        }
        while (!line.empty() && line.back() == ' ') line.pop_back();
        out << line << "\n";
    }
    if (found.prefixes.empty()) out << "No Wine prefixes found.\n";
}

}  // namespace

void AddPrefixesCommand(CLI::App& app, CliContext& context) {
    CLI::App* cmd = app.add_subcommand("prefixes", "List the Wine prefixes found on this machine");
    static bool json = false;
    cmd->add_flag("--json", json, "Print a JSON list instead of a table");
    cmd->callback([&context] {
        qv::PrefixDiscovery found = qv::DiscoverPrefixes(qv::ProcessDiscoveryEnvironment());
        for (const std::string& note : found.notes) std::cerr << "quorvane-cli prefixes: " << note << "\n";
        if (json) {
            nlohmann::json list = nlohmann::json::array();
            for (const qv::DiscoveredPrefix& p : found.prefixes)
                list.push_back({{"path", p.path.string()},
                                {"name", p.name},
                                {"source", p.source},
                                {"running", qv::FindWineServer(p.path).running}});
            // Names come from other programs' files: replace what is not valid UTF-8.
            std::cout << list.dump(2, ' ', false, nlohmann::json::error_handler_t::replace) << "\n";
        } else {
            PrintTable(found, std::cout);
        }
        context.exitCode = 0;
    });
}
