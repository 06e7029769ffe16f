// quorvane-cli backup, backups, restore, restore-point, restore-points, rollback.
#include <unistd.h>

#include <windows.h>

#include <algorithm>
#include <ctime>
#include <iostream>

#include "app/app_utils.h"
#include "app/derived_paths.h"
#include "app/settings.h"
#include "backup/backup_store.h"
#include "platform/prefix/drive_map.h"
#include "platform/prefix/prefix.h"
#include "platform/prefix/restore_points.h"
#include "platform/registry/registry_store.h"
#include "platform/win32/message_box.h"
#include "tools/cli/cli_commands.h"
#include "tools/cli/console_answers.h"

void AddBackupCommands(CLI::App& app, CliContext& context) {
    app.add_subcommand("backup", "Make a full backup of the registry now and print its path")
        ->callback([&context] {
            context.exitCode = context.WithPrefix([](qv::Prefix& prefix) {
                RefreshDerivedPaths();
                CBackupStore store;
                std::string error;
                std::string path = store.MakeRegistryBackup("FullBackup", nullptr, error);
                if (path.empty()) {
                    std::cerr << "quorvane-cli backup: " << error << "\n";
                    return 1;
                }
                std::cout << DisplayPath(prefix, path) << "\n";
                return 0;
            });
        });

    app.add_subcommand("backups", "List the backups: listing text and file")->callback([&context] {
        context.exitCode = context.WithPrefix([](qv::Prefix& prefix) {
            RefreshDerivedPaths();
            CBackupStore store;
            for (auto& [text, path] : store.ListBackupFiles()) std::cout << text << "\t" << DisplayPath(prefix, path) << "\n";
            return 0;
        });
    });

    CLI::App* restore = app.add_subcommand("restore", "Restore a backup, named by its listing text or its file");
    static std::string which;
    static bool yes = false;
    restore->add_option("TEXT-OR-FILE", which, "The listing text (\"Jun,26 2009 3:45 PM\") or the backup file")->required();
    restore->add_flag("-y,--yes", yes, "Do not ask for confirmation");
    restore->callback([&context] {
        context.exitCode = context.WithPrefix([](qv::Prefix& prefix) {
            RefreshDerivedPaths();
            CBackupStore store;
            // A file restores exactly that file; anything else is a listing text.
            std::string file = store.FindBackupFile(which);
            if (file.empty() && which.find_first_of("/\\") != std::string::npos) {
                std::cerr << "quorvane-cli restore: " << which << " is not one of the backups in "
                          << DisplayPath(prefix, GetBackupFolder())
                          << " (to import another .reg file, use quorvane-regedit /s FILE)\n";
                return 1;
            }
            if (file.empty()) {
                // Backups of one minute share their listing text: the file must then be named.
                std::vector<std::string> matches;
                for (auto& [text, path] : store.ListBackupFiles())
                    if (text == which) matches.push_back(path);
                if (matches.size() > 1) {
                    std::cerr << "quorvane-cli restore: " << matches.size() << " backups were taken at " << which
                              << "; name the one to restore by its file:\n";
                    for (const std::string& m : matches) std::cerr << "  " << DisplayPath(prefix, m) << "\n";
                    return 1;
                }
            }
            qv::MessageBoxHandler previous = qv::SetMessageBoxHandler(ConsoleAnswers(yes));
            bool ok = file.empty() ? store.RestoreBackup(which) : store.RestoreBackupFile(file);
            qv::SetMessageBoxHandler(previous);
            return ok ? 0 : 1;
        });
    });

    CLI::App* point = app.add_subcommand("restore-point", "Take a restore point now and print its sequence number");
    static std::string description = "Quorvane restore point";
    point->add_option("DESCRIPTION", description, "What the restore point is for");
    point->callback([&context] {
        context.exitCode = context.WithPrefix([](qv::Prefix& prefix) {
            qv::RestorePoint p;
            std::string error;
            if (!qv::CreatePrefixRestorePoint(prefix.Root(), description.substr(0, 63), p, error)) {
                std::cerr << "quorvane-cli restore-point: " << error << "\n";
                return 1;
            }
            std::cout << p.sequence << "\n";
            return 0;
        });
    });

    app.add_subcommand("restore-points", "List the restore points")->callback([&context] {
        context.exitCode = context.WithPrefix([](qv::Prefix& prefix) {
            for (const qv::RestorePoint& p : qv::ListRestorePoints(prefix.Root()))
                std::cout << p.sequence << "\t" << FormatTime(p.time, settings::kTimeFormat) << "\t" << p.description
                          << "\n";
            return 0;
        });
    });

    CLI::App* rollback =
        app.add_subcommand("rollback", "Put the registry back exactly as a restore point holds it");
    static int64_t sequence = 0;
    static bool rollbackYes = false;
    rollback->add_option("SEQUENCE", sequence, "The restore point's sequence number")->required();
    rollback->add_flag("-y,--yes", rollbackYes, "Do not ask for confirmation");
    rollback->callback([&context] {
        context.exitCode = context.WithPrefix([](qv::Prefix& prefix) {
            // The whole registry is replaced: asked like a restore (yes with --yes, else on a
            // terminal, else no).
            std::vector<qv::RestorePoint> points = qv::ListRestorePoints(prefix.Root());
            auto point = std::find_if(points.begin(), points.end(),
                                      [](const qv::RestorePoint& p) { return p.sequence == sequence; });
            if (point == points.end()) {
                std::cerr << "quorvane-cli rollback: there is no restore point " << sequence
                          << " (quorvane-cli restore-points lists them)\n";
                return 1;
            }
            const std::string question = "Replace the whole registry of " + prefix.Root().string() +
                                         " with restore point " + std::to_string(sequence) + " (" +
                                         FormatTime(point->time, settings::kTimeFormat) + ", " + point->description +
                                         ")? The registry as it is now is kept as a new restore point.";
            qv::MessageBoxHandler previous = qv::SetMessageBoxHandler(ConsoleAnswers(rollbackYes));
            const int answer = MessageBoxA(nullptr, question.c_str(), "Quorvane", MB_YESNO | MB_ICONQUESTION);
            qv::SetMessageBoxHandler(previous);
            if (answer != IDYES) {
                std::cerr << "quorvane-cli rollback: declined; nothing was changed.\n";
                return 1;
            }
            qv::RestorePoint saved;
            std::string error;
            if (!qv::RollBackToRestorePoint(prefix.Root(), sequence, saved, error)) {
                std::cerr << "quorvane-cli rollback: " << error << "\n";
                return 1;
            }
            prefix.Registry().ReloadChangedFiles();
            std::cerr << "The registry is back at restore point " << sequence << "; the state before is restore point "
                      << saved.sequence << ".\n";
            return 0;
        });
    });
}
