// quorvane-cli startup: the startup programs as the Quick Boot page lists them, and
// switching them off and on by name.
#include <nlohmann/json.hpp>

#include <algorithm>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "platform/prefix/prefix.h"
#include "platform/registry/reg_text.h"
#include "platform/registry/registry_store.h"
#include "quickboot/startup_item_manager.h"
#include "tools/cli/cli_commands.h"

namespace {

bool SameItem(const std::string& a, const std::string& b) {
    return qv::reg::NamesEqual(qv::reg::ToUtf16(a), qv::reg::ToUtf16(b));
}

void PrintTable(const std::vector<StartupRow>& rows, std::ostream& out) {
    size_t itemWidth = 4;
    for (const StartupRow& r : rows) itemWidth = std::max(itemWidth, std::min<size_t>(r.item.size(), 40));
    auto pad = [](std::string s, size_t n) {
        s.resize(std::max(s.size(), n), ' ');
        return s;
    };
    // A machine-wide item of a 32-bit program lives in the 32-bit registry view.
    auto rootOf = [](const StartupRow& r) {
        return r.registry.find("Wow6432Node") != std::string::npos ? r.root + " (32-bit)" : r.root;
    };
    size_t rootWidth = 4;
    for (const StartupRow& r : rows) rootWidth = std::max(rootWidth, rootOf(r).size());
    out << pad("STATE", 9) << pad("ROOT", rootWidth + 2) << pad("ITEM", itemWidth + 2) << "PATH\n";
    for (const StartupRow& r : rows)
        out << pad(r.checked ? "enabled" : "disabled", 9) << pad(rootOf(r), rootWidth + 2) << pad(r.item, itemWidth + 2)
            << r.path << "\n";
    size_t on = std::count_if(rows.begin(), rows.end(), [](const StartupRow& r) { return r.checked; });
    out << "\n" << on << " enabled, " << rows.size() - on << " disabled\n";
}

void PrintJson(const std::vector<StartupRow>& rows, std::ostream& out) {
    nlohmann::json list = nlohmann::json::array();
    for (const StartupRow& r : rows)
        list.push_back(
            {{"item", r.item}, {"path", r.path}, {"root", r.root}, {"registry", r.registry}, {"enabled", r.checked}});
    // Names and commands come from the registry: replace what is not valid UTF-8 rather than fail.
    out << list.dump(2, ' ', false, nlohmann::json::error_handler_t::replace) << "\n";
}

// Switches the named items on (`on`) or off; 0 when every name was known and switched.
int SwitchItems(const std::vector<std::string>& names, const std::string& root, bool on) {
    const char* verb = on ? "enable" : "disable";
    CStartupItemManager manager;
    manager.RefreshStartupList();
    int status = 0;
    for (const std::string& name : names) {
        bool known = false;
        bool failed = false;
        for (size_t i = 0; i < manager.Rows().size(); ++i) {
            const StartupRow& row = manager.Rows()[i];
            if (!SameItem(row.item, name) || (!root.empty() && !SameItem(row.root, root))) continue;
            known = true;
            // Only rows in the other state are switched; the rest are as asked already.
            if (row.checked == on) continue;
            manager.SetChecked(i, on);
            StartupRowOutcome outcome = manager.ApplyStartupRow(i);
            if (outcome == StartupRowOutcome::Failed) {
                std::string why = manager.AutostartError().empty() ? qv::ActiveRegistryError() : manager.AutostartError();
                std::cerr << "quorvane-cli startup " << verb << ": \"" << name << "\" (" << row.root
                          << ") could not be " << (on ? "enabled" : "disabled")
                          << (on ? "; another command of that name may be enabled already" : "") << "."
                          << (why.empty() ? "" : " " + why) << "\n";
                failed = true;
            } else if (outcome != StartupRowOutcome::Unchanged) {
                std::cerr << (on ? "Enabled " : "Disabled ") << row.item << " (" << row.root << ")\n";
            }
        }
        if (!known) std::cerr << "quorvane-cli startup " << verb << ": no startup item \"" << name << "\"\n";
        if (!known || failed) status = 1;
    }
    return status;
}

}  // namespace

void AddStartupCommand(CLI::App& app, CliContext& context) {
    CLI::App* cmd = app.add_subcommand(
        "startup", "List the startup programs as Quick Boot shows them, or enable and disable them by name");
    static bool json = false;
    cmd->add_flag("--json", json, "Print a JSON list of {item, path, root, registry, enabled}");
    cmd->require_subcommand(0, 1);

    static std::vector<std::string> disableNames, enableNames;
    static std::string disableRoot, enableRoot;
    CLI::App* disable = cmd->add_subcommand("disable", "Switch startup programs off (recorded, so that enable gives them back)");
    disable->add_option("NAME", disableNames, "Startup item names (the Run value's name)")->required();
    disable->add_option("--root", disableRoot, "Only the item under this root: HKCU or HKLM")
        ->check(CLI::IsMember({"HKCU", "HKLM"}, CLI::ignore_case));
    CLI::App* enable = cmd->add_subcommand("enable", "Switch startup programs that were disabled back on");
    enable->add_option("NAME", enableNames, "Startup item names (the Run value's name)")->required();
    enable->add_option("--root", enableRoot, "Only the item under this root: HKCU or HKLM")
        ->check(CLI::IsMember({"HKCU", "HKLM"}, CLI::ignore_case));

    disable->callback([&context] {
        context.exitCode = context.WithPrefix([](qv::Prefix&) { return SwitchItems(disableNames, disableRoot, false); });
    });
    enable->callback([&context] {
        context.exitCode = context.WithPrefix([](qv::Prefix&) { return SwitchItems(enableNames, enableRoot, true); });
    });
    cmd->callback([&context, cmd] {
        if (!cmd->get_subcommands().empty()) return;
        context.exitCode = context.WithPrefix([](qv::Prefix&) {
            CStartupItemManager manager;
            manager.RefreshStartupList();
            if (json)
                PrintJson(manager.Rows(), std::cout);
            else
                PrintTable(manager.Rows(), std::cout);
            return 0;
        });
    });
}
