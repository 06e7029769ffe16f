// quorvane-cli status: the prefix Quorvane works on, its settings, and the page the
// window would start on.
#include <windows.h>

#include <iostream>
#include <string>

#include "app/app_utils.h"
#include "app/command_line_switch.h"
#include "app/derived_paths.h"
#include "app/settings.h"
#include "platform/prefix/prefix.h"
#include "tools/cli/cli_commands.h"
#include "vendor/core/system32.h"

namespace {

enum class ValueKind { Text, Int };

struct SettingValue {
    const char* name;
    ValueKind kind;
};

constexpr SettingValue kSettingValues[] = {
    {settings::kLastScan, ValueKind::Text},       {settings::kLastBackup, ValueKind::Text},
    {settings::kCheckRestorePoint, ValueKind::Int}, {settings::kCheckUpdate, ValueKind::Int},
    {settings::kStartup, ValueKind::Int},         {settings::kBFlag, ValueKind::Int},
    {settings::kBTimeStamp, ValueKind::Text},     {settings::kLastBuildDate, ValueKind::Text},
    {settings::kVersion, ValueKind::Text},        {settings::kBuild, ValueKind::Text},
    {settings::kUpgradeURL, ValueKind::Text},     {settings::kSpecialOffer, ValueKind::Text},
    {settings::kSpecialOfferURL, ValueKind::Text},
};

// The value as the settings readers see it: through the form its type calls for, or
// "(not set)" when that read fails.
std::string DescribeSetting(const SettingValue& setting) {
    if (setting.kind == ValueKind::Int) {
        int number = 0;
        if (CSystem32::GetRegistryValue(settings::kOptionsKey, setting.name, number,
                                        HKEY_LOCAL_MACHINE))
            return std::to_string(number);
    } else {
        std::string text;
        if (CSystem32::GetRegistryValue(settings::kOptionsKey, setting.name, text,
                                        HKEY_LOCAL_MACHINE))
            return "\"" + text + "\"";
    }
    return "(not set)";
}

bool SettingExists(const char* name) {
    int number = 0;
    return CSystem32::GetRegistryValue(settings::kOptionsKey, name, number,
                                       HKEY_LOCAL_MACHINE) != 0;
}

bool SettingTextExists(const char* name) {
    std::string text;
    return CSystem32::GetRegistryValue(settings::kOptionsKey, name, text,
                                       HKEY_LOCAL_MACHINE) != 0;
}

// A key path as the registry shows it: a doubled backslash counts as one.
std::string SingleBackslashes(const std::string& path) {
    std::string out;
    for (char c : path)
        if (c != '\\' || out.empty() || out.back() != '\\') out += c;
    return out;
}

std::string CommandLine() {
    const char* line = GetCommandLineA();
    return line != nullptr ? line : "";
}

int RunStatus(const qv::Prefix& prefix) {
    RefreshDerivedPaths();
    std::cout << "Prefix: " << prefix.Root().string() << "\n";
    std::cout << "Help file: " << GetHelpFilePath() << "\n";
    std::cout << "Backup folder: " << GetBackupFolder() << "\n";
    std::cout << "Settings (HKEY_LOCAL_MACHINE\\" << SingleBackslashes(settings::kOptionsKey) << "):\n";
    for (const SettingValue& setting : kSettingValues)
        std::cout << "  " << setting.name << " = " << DescribeSetting(setting) << "\n";

    // The first page, chosen as the main window chooses it.
    const std::string commandLine = CommandLine();
    if (SettingExists(settings::kBFlag))
        std::cout << "Start page: Quick Boot results (\"BFlag\" is set)\n";
    else if (HasStartupSwitch(commandLine))
        std::cout << "Start page: scan (started with " << kStartupSwitch << ")\n";
    else
        std::cout << "Start page: home\n";
    if (!SettingTextExists(settings::kLastBackup))
        std::cout << "System backup at start: yes (no \"Last Backup\" yet)\n";
    else
        std::cout << "System backup at start: no\n";

    return 0;
}

}  // namespace

void AddStatusCommand(CLI::App& app, CliContext& context) {
    CLI::App* cmd = app.add_subcommand("status", "Show the prefix, the settings and the start page");
    cmd->callback([&context] { context.exitCode = context.WithPrefix(RunStatus); });
}
