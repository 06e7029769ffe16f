// Which Wine prefix the window works on, and switching to another one.
//
// The window remembers the last prefix chosen in it, for its next start, in
// $XDG_STATE_HOME/quorvane/prefix (else ~/.local/state/quorvane/prefix): the options key
// lives inside a prefix and cannot say which prefix to open. --prefix and WINEPREFIX still
// win over the remembered choice. Switching ends the window and starts it again on the
// other prefix, so that every page, setting and backup list is that prefix's from the start.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "platform/prefix/prefix_discovery.h"

// The file that holds the remembered choice.
std::filesystem::path RememberedPrefixFile();

// The remembered prefix when it still looks like one (holds system.reg or user.reg).
std::optional<std::filesystem::path> RememberedPrefix();

// Remembers `prefix` for the next start; false (with `error`) when the file cannot be written.
bool RememberPrefix(const std::filesystem::path& prefix, std::string& error);

// One entry of the chooser: a prefix that discovery found, with how it is shown.
struct PrefixChoice {
    std::filesystem::path path;
    std::string label;  // "Name (source)"
    bool current = false;
};

// The chooser's entries: what discovery found, the current prefix first among them when
// discovery did not find it (a folder chosen by hand).
std::vector<PrefixChoice> PrefixChoices(const qv::PrefixDiscovery& found, const std::filesystem::path& current);

// How the title area names the prefix: the name discovery gives it, else its folder's name.
std::string PrefixDisplayName(const qv::PrefixDiscovery& found, const std::filesystem::path& prefix);

// A switch asked for in the window, carried out once the window has closed (none: the
// request is withdrawn).
void RequestPrefixSwitch(std::optional<std::filesystem::path> prefix);
std::optional<std::filesystem::path> RequestedPrefixSwitch();
