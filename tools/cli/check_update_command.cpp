// quorvane-cli check-update: checks the version feed (the vendor's address, or the one
// given) and prints the settings the check stored, or that nothing changed.
#include <shellapi.h>
#include <windows.h>

#include <iostream>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "app/settings.h"
#include "app/string_table.h"
#include "platform/prefix/prefix.h"
#include "tools/cli/cli_commands.h"
#include "update/version_feed.h"
#include "vendor/core/system32.h"

namespace {

// The string that holds the vendor's version-feed address.
constexpr int kFeedAddressString = 167;

constexpr const char* kFeedSettings[] = {settings::kLastBuildDate, settings::kVersion,
                                         settings::kBuild,         settings::kUpgradeURL,
                                         settings::kSpecialOffer,  settings::kSpecialOfferURL};

std::vector<std::optional<std::string>> ReadFeedSettings() {
    std::vector<std::optional<std::string>> values;
    for (const char* name : kFeedSettings) {
        std::string text;
        if (CSystem32::GetRegistryValue(settings::kOptionsKey, name, text, HKEY_LOCAL_MACHINE))
            values.emplace_back(std::move(text));
        else
            values.emplace_back(std::nullopt);
    }
    return values;
}

int RunCheckUpdate(const std::string& url) {
    if (url.empty()) {
        std::cerr << "quorvane-cli: no feed address is configured; give one with --url\n";
        return 1;
    }
    if (!qv::IsWebAddress(url)) {
        std::cerr << "quorvane-cli: the feed address must be an http or https address: " << url << "\n";
        return 2;
    }
    std::vector<std::optional<std::string>> before = ReadFeedSettings();
    std::cerr << "Checking " << url << "\n";
    CVersionFeed feed;
    if (feed.CheckFeed(url) == 0) {
        std::cerr << "quorvane-cli: no version feed at " << url
                  << " (unreachable, not answering in time, too large, or not a feed)\n";
        return 1;
    }
    std::vector<std::optional<std::string>> after = ReadFeedSettings();
    bool changed = false;
    for (size_t i = 0; i < std::size(kFeedSettings); ++i) {
        if (after[i] == before[i]) continue;
        if (!changed) std::cout << "Stored:\n";
        changed = true;
        std::cout << "  " << kFeedSettings[i] << " = \"" << after[i].value_or("") << "\"\n";
    }
    if (!changed) std::cout << "No change: the feed's LastBuildDate is the one stored, or it has none.\n";
    return 0;
}

}  // namespace

void AddCheckUpdateCommand(CLI::App& app, CliContext& context) {
    CLI::App* cmd = app.add_subcommand(
        "check-update", "Check the version feed and store what is new (runs whatever \"CheckUpdate\" says)");
    auto url = std::make_shared<std::string>(LoadStringText(kFeedAddressString));
    cmd->add_option("--url", *url, "Feed address (http or https)")->capture_default_str();
    cmd->callback([&context, url] {
        context.exitCode = context.WithPrefix([url](qv::Prefix&) { return RunCheckUpdate(*url); });
    });
}
