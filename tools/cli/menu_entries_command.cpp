// quorvane-cli menu-entries: the Linux menu entries, file type associations, MIME types and
// icons that Wine left for deleted prefixes and removed programs; cleaning them (archived
// first) and putting them back from an archive.
#include <windows.h>

#include <nlohmann/json.hpp>

#include <iostream>
#include <string>

#include "menus/menu_clean.h"
#include "menus/menu_home.h"
#include "menus/stale_menu_files.h"
#include "platform/win32/message_box.h"
#include "tools/cli/cli_commands.h"
#include "tools/cli/console_answers.h"

namespace {

void PrintList(const menus::StaleMenuReport& report, bool json) {
    if (json) {
        nlohmann::json list = nlohmann::json::array();
        for (const menus::StaleMenuFile& f : report.files)
            list.push_back({{"path", f.path.string()},
                            {"kind", menus::KindName(f.kind)},
                            {"prefix", f.prefix ? nlohmann::json(f.prefix->string()) : nlohmann::json(nullptr)},
                            {"reason", f.reason}});
        std::cout << list.dump(2, ' ', false, nlohmann::json::error_handler_t::replace) << "\n";
    } else {
        for (const menus::StaleMenuFile& f : report.files)
            std::cout << menus::KindName(f.kind) << "\t" << f.path.string() << "\n\t" << f.reason << "\n";
        std::cout << report.files.size() << (report.files.size() == 1 ? " file" : " files")
                  << " left by Wine for deleted prefixes and removed programs.\n";
    }
    for (const std::string& note : report.notes) std::cerr << note << "\n";
}

bool Confirmed(bool yes, const std::string& question) {
    qv::MessageBoxHandler previous = qv::SetMessageBoxHandler(ConsoleAnswers(yes));
    const int answer = MessageBoxA(nullptr, question.c_str(), "Quorvane", MB_YESNO | MB_ICONQUESTION);
    qv::SetMessageBoxHandler(previous);
    return answer == IDYES;
}

}  // namespace

void AddMenuEntriesCommand(CLI::App& app, CliContext& context) {
    CLI::App* cmd = app.add_subcommand(
        "menu-entries", "List the menu entries, file types and icons Wine left for deleted prefixes and removed programs");
    static bool json = false;
    cmd->add_flag("--json", json, "Print a JSON list of {path, kind, prefix, reason}");
    CLI::App* clean = cmd->add_subcommand("clean", "Archive, then remove, every file that the list names");
    static bool cleanYes = false;
    clean->add_flag("-y,--yes", cleanYes, "Do not ask for confirmation");
    CLI::App* restore = cmd->add_subcommand("restore", "Put back every file of an archive that a clean wrote");
    static std::string archive;
    static bool restoreYes = false;
    restore->add_option("ARCHIVE", archive, "The archive (quorvane-cli menu-entries clean prints its path)")->required();
    restore->add_flag("-y,--yes", restoreYes, "Do not ask for confirmation");

    cmd->callback([&context, clean, restore] {
        const menus::MenuHome home = menus::MenuHome::FromEnvironment();
        if (home.home.empty()) {
            std::cerr << "quorvane-cli menu-entries: HOME is not set, so the menu folders are not known.\n";
            context.exitCode = 1;
            return;
        }
        if (restore->parsed()) {
            if (!Confirmed(restoreYes, "Put back the files of " + archive + "?")) {
                std::cerr << "Nothing was restored.\n";
                context.exitCode = 1;
                return;
            }
            const menus::MenuRestoreResult r = menus::RestoreMenuFiles(home, archive);
            if (!r.error.empty()) std::cerr << r.error << "\n";
            for (const std::string& why : r.refused) std::cerr << "Not restored: " << why << "\n";
            std::cerr << "Restored " << r.restored.size() << " files.\n";
            context.exitCode = r.ok ? 0 : 1;
            return;
        }
        const menus::StaleMenuReport report = menus::FindStaleMenuFiles(home);
        if (!clean->parsed()) {
            PrintList(report, json);
            return;
        }
        if (report.files.empty()) {
            std::cerr << "Nothing to clean.\n";
            return;
        }
        PrintList(report, false);
        if (!Confirmed(cleanYes, "Remove these " + std::to_string(report.files.size()) +
                                     " files? They are archived first, so that they can be put back.")) {
            std::cerr << "Nothing was removed.\n";
            context.exitCode = 1;
            return;
        }
        const menus::MenuCleanResult r = menus::CleanMenuFiles(home, report.files);
        for (const std::string& note : r.notes) std::cerr << note << "\n";
        if (!r.ok) {
            std::cerr << "Nothing was removed: " << r.error << "\n";
            context.exitCode = 1;
            return;
        }
        std::cerr << "Removed " << r.removed.size() << " files.\n";
        std::cout << r.archive.string() << "\n";
        std::cerr << "Put them back with: quorvane-cli menu-entries restore " << r.archive.string() << "\n";
    });
}
