#include "platform/prefix/windows_path.h"

#include "platform/prefix/current_directory.h"

namespace qv {
namespace {

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

bool IsDriveLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

char UpperDrive(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c; }

bool StartsWithDrive(std::string_view s) { return s.size() >= 2 && IsDriveLetter(s[0]) && s[1] == ':'; }

// Appends the names of `rest` to `components`, applying "." and "..".
void AppendComponents(std::string_view rest, std::vector<std::string>& components) {
    size_t i = 0;
    while (i < rest.size()) {
        while (i < rest.size() && IsSeparator(rest[i])) ++i;
        size_t start = i;
        while (i < rest.size() && !IsSeparator(rest[i])) ++i;
        std::string_view name = rest.substr(start, i - start);
        if (name.empty() || name == ".") continue;
        if (name == "..") {
            if (!components.empty()) components.pop_back();
            continue;
        }
        components.emplace_back(name);
    }
}

// The current directory taken apart; it is stored full, so this cannot recurse further.
WindowsPath CurrentDirectoryPath() {
    std::string text = CurrentWindowsDirectory();
    WindowsPath current;
    if (StartsWithDrive(text)) {
        current.drive = UpperDrive(text[0]);
        AppendComponents(std::string_view(text).substr(2), current.components);
    }
    return current;
}

void TrimLastName(std::vector<std::string>& components) {
    if (components.empty()) return;
    std::string& last = components.back();
    size_t end = last.size();
    while (end > 0 && (last[end - 1] == ' ' || last[end - 1] == '.')) --end;
    if (end == last.size()) return;
    if (end == 0)
        components.pop_back();
    else
        last.resize(end);
}

}  // namespace

std::string WindowsPath::ToString() const {
    std::string text{drive, ':'};
    if (components.empty()) return text + '\\';
    for (const std::string& name : components) {
        text += '\\';
        text += name;
    }
    return text;
}

bool EndsWithPathSeparator(std::string_view path) { return !path.empty() && IsSeparator(path.back()); }

std::optional<WindowsPath> ResolveWindowsPath(std::string_view path) {
    if (path.empty() || path.find('\0') != std::string_view::npos) return std::nullopt;

    bool literal = false;
    if (path.size() >= 4 && IsSeparator(path[0]) && IsSeparator(path[3]) &&
        ((IsSeparator(path[1]) && (path[2] == '?' || path[2] == '.')) ||
         (path[1] == '?' && path[2] == '?'))) {
        // "\\?\C:\x" and "\??\C:\x" take the name as given; "\\.\C:\x" is a device path
        // that still gets the usual clean-up. Anything but a drive after them is a device
        // or network name, which has no place in the prefix.
        literal = path[2] == '?';
        path.remove_prefix(4);
        if (!StartsWithDrive(path)) return std::nullopt;
    } else if (path.size() >= 2 && IsSeparator(path[0]) && IsSeparator(path[1])) {
        return std::nullopt;  // UNC: \\server\share
    }

    WindowsPath full;
    std::string_view rest;
    if (StartsWithDrive(path)) {
        full.drive = UpperDrive(path[0]);
        rest = path.substr(2);
        if (rest.empty() || !IsSeparator(rest[0])) {
            // "C:dir" is relative to the current directory when that is on the same drive.
            WindowsPath current = CurrentDirectoryPath();
            if (current.drive == full.drive) full.components = std::move(current.components);
        }
    } else if (IsSeparator(path[0])) {
        full.drive = CurrentDirectoryPath().drive;
        rest = path;
    } else {
        full = CurrentDirectoryPath();
        rest = path;
    }
    AppendComponents(rest, full.components);
    if (!literal) TrimLastName(full.components);
    return full;
}

}  // namespace qv
