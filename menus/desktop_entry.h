// Reading desktop entry files (.desktop, .directory): the keys of the "[Desktop Entry]"
// group with their string escapes undone, and an Exec line split into its arguments.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace menus {

// The keys of the "[Desktop Entry]" group (later duplicates ignored; localised keys such as
// "Name[de]" kept under their full names), values unescaped (\s \n \t \r \\). Empty when the
// text has no such group.
std::map<std::string, std::string> ReadDesktopEntry(std::string_view text);

// The arguments of an Exec value, split as a shell would split a simple command line:
// blanks separate words, double quotes group (a backslash inside them escapes the next
// character), single quotes group literally, and a backslash outside quotes escapes the next
// character (launchers such as Wine's escape blanks that way). Empty when quotes are left
// open.
std::optional<std::vector<std::string>> SplitExec(std::string_view exec);

}  // namespace menus
