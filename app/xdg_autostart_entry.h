// The desktop session's autostart entry that starts Quorvane with /startup on one prefix.
// Wine does not start a prefix's Run values when a user logs in to the desktop, so running
// at start means this entry beside the Run value: a .desktop file in the XDG autostart
// folder, named after a hash of the prefix's path so that each prefix has its own.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace autostart {

// $XDG_CONFIG_HOME/autostart when XDG_CONFIG_HOME is an absolute path, else
// $HOME/.config/autostart; empty when neither can be named.
std::filesystem::path AutostartFolder();

// The entry of `prefix` in `folder`: quorvane-<16 hex digits>.desktop, the digits a hash of
// the prefix's absolute path (the same path always gives the same name).
std::filesystem::path AutostartEntryPath(const std::filesystem::path& folder, const std::filesystem::path& prefix);

// One argument of an Exec line, quoted where the desktop entry format asks for it and
// escaped for the file ('%' doubled, backslashes and control characters escaped).
std::string DesktopExecArgument(const std::string& argument);

// The file's content: runs `program` /startup with WINEPREFIX set to `prefix`.
std::string AutostartEntryText(const std::filesystem::path& program, const std::filesystem::path& prefix);

// Writes the entry (creating the folder), replacing an old one whole. False with `error`
// set (a message for the user) when the folder cannot be written.
bool WriteAutostartEntry(const std::filesystem::path& file, const std::string& text, std::string& error);

// Removes the entry; true when it is gone (or was never there).
bool RemoveAutostartEntry(const std::filesystem::path& file, std::string& error);

}  // namespace autostart
