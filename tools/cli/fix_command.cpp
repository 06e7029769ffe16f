// quorvane-cli fix: repairs the findings of a scan (all, or those of some categories) after
// writing them to a partial backup.
#include <strings.h>
#include <unistd.h>

#include <windows.h>

#include <iostream>

#include "app/string_table.h"
#include "backup/backup_store.h"
#include "platform/prefix/drive_map.h"
#include "platform/prefix/prefix.h"
#include "platform/win32/message_box.h"
#include "results/scan_repair.h"
#include "tools/cli/cli_commands.h"
#include "tools/cli/console_answers.h"
#include "tools/cli/cli_scan_run.h"

namespace {

const int kCategoryIds[] = {170, 133, 138, 131, 136, 137, 135, 134, 132, 139};


}  // namespace

void AddFixCommand(CLI::App& app, CliContext& context) {
    CLI::App* cmd = app.add_subcommand(
        "fix", "Back up, then delete the findings of a scan (all, or those of the categories named)");
    static std::vector<std::string> categories;
    static bool yes = false;
    cmd->add_option("--category", categories,
                    "Only this category (repeatable): \"Application Path\", \"Shared DLLs\", \"Missing Fonts\", "
                    "\"System Help Files\", \"Add or Remove Programs\", \"Startup Programs\", \"File Extensions\", "
                    "\"Missing Shortcuts\", \"Start Menu Programs\", \"Wine Menu Entries\"");
    cmd->add_flag("-y,--yes", yes, "Do not ask for confirmation");
    cmd->callback([&context, cmd] {
        for (const std::string& c : categories) {
            bool known = false;
            for (int id : kCategoryIds) known = known || strcasecmp(LoadStringText(id).c_str(), c.c_str()) == 0;
            if (!known) {
                std::cerr << "quorvane-cli fix: unknown category \"" << c << "\"\n" << cmd->help();
                context.exitCode = 2;
                return;
            }
        }
        context.exitCode = context.WithPrefix([](qv::Prefix& prefix) {
            if (!RegistryReadable(prefix, "fix")) return 1;
            CliScanResult r = RunCliScan();
            std::vector<RepairRow> rows;
            size_t chosen = 0;
            for (const ScanFinding& f : r.rows) {
                bool take = categories.empty();
                for (const std::string& c : categories) take = take || strcasecmp(c.c_str(), f.problem.c_str()) == 0;
                rows.push_back({f, take});
                chosen += take;
            }
            if (chosen == 0) {
                std::cerr << "Nothing to fix.\n";
                return 0;
            }
            qv::MessageBoxHandler previous = qv::SetMessageBoxHandler(ConsoleAnswers(yes));
            CBackupStore store;
            CScanRepair repair(store);
            RepairOutcome outcome = repair.FixSelected(rows, r.stores);
            qv::SetMessageBoxHandler(previous);
            if (!repair.BackupPath().empty()) {
                std::cout << "Backup: " << DisplayPath(prefix, repair.BackupPath()) << "\n";
            }
            switch (outcome) {
                case RepairOutcome::Repaired:
                    for (const auto& [row, why] : repair.Refused()) std::cerr << "Left alone: " << why << "\n";
                    std::cerr << "Fixed " << repair.RepairedCount() << " findings. Restore them with: quorvane-regedit /s \""
                              << repair.BackupPath() << "\"\n";
                    std::cerr << "Deleted " << repair.DeletedTempInternetFiles() << " of "
                              << r.stores.m_aTempInternetFiles.size() << " cached internet files and "
                              << repair.DeletedCookies() << " of " << r.stores.m_aCookieFiles.size()
                              << " cookie files.\n";
                    for (const std::string& note : repair.Notes()) std::cerr << note << "\n";
                    if (!repair.MenuArchive().empty())
                        std::cerr << "Archived and removed " << repair.RemovedMenuFiles()
                                  << " Wine menu files. Put them back with: quorvane-cli menu-entries restore "
                                  << repair.MenuArchive().string() << "\n";
                    return 0;
                case RepairOutcome::Declined:
                    std::cerr << "Nothing was changed.\n";
                    return 1;
                default:
                    return 1;
            }
        });
    });
}
