#include "app/xdg_autostart_entry.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <system_error>

#include "platform/registry/atomic_file.h"

namespace fs = std::filesystem;

namespace autostart {

namespace {

fs::path AbsolutePrefix(const fs::path& prefix) {
    std::error_code error;
    fs::path p = fs::weakly_canonical(fs::absolute(prefix, error), error);
    if (error) p = fs::absolute(prefix, error).lexically_normal();
    std::string text = p.string();
    while (text.size() > 1 && text.back() == '/') text.pop_back();
    return text;
}

// FNV-1a, 64 bits: stable across runs and builds, unlike std::hash.
std::string HashOf(const std::string& text) {
    uint64_t h = 0xcbf29ce484222325ull;
    for (unsigned char c : text) {
        h ^= c;
        h *= 0x100000001b3ull;
    }
    char buf[17];
    std::snprintf(buf, sizeof buf, "%016llx", static_cast<unsigned long long>(h));
    return buf;
}

// Escapes of the format's string values.
std::string EscapeValue(const std::string& text) {
    std::string out;
    for (char c : text) {
        switch (c) {
            case '\\': out += "\\\\"; break;
            case '\n': out += "\\n"; break;
            case '\t': out += "\\t"; break;
            case '\r': out += "\\r"; break;
            default: out += c;
        }
    }
    return out;
}

}  // namespace

fs::path AutostartFolder() {
    const char* config = std::getenv("XDG_CONFIG_HOME");
    if (config && *config == '/') return fs::path(config) / "autostart";
    const char* home = std::getenv("HOME");
    if (home && *home) return fs::path(home) / ".config" / "autostart";
    return {};
}

fs::path AutostartEntryPath(const fs::path& folder, const fs::path& prefix) {
    return folder / ("quorvane-" + HashOf(AbsolutePrefix(prefix).string()) + ".desktop");
}

std::string DesktopExecArgument(const std::string& argument) {
    static const std::string kReserved = " \t\n\"'\\><~|&;$*?#()`";
    std::string arg;
    if (!argument.empty() && argument.find_first_of(kReserved) == std::string::npos) {
        arg = argument;
    } else {
        arg = "\"";
        for (char c : argument) {
            if (c == '"' || c == '`' || c == '$' || c == '\\') arg += '\\';
            arg += c;
        }
        arg += '"';
    }
    // '%' starts a field code; a literal one is doubled.
    std::string out;
    for (char c : EscapeValue(arg)) {
        out += c;
        if (c == '%') out += '%';
    }
    return out;
}

std::string AutostartEntryText(const fs::path& program, const fs::path& prefix) {
    const std::string prefixText = AbsolutePrefix(prefix).string();
    std::string text;
    text += "[Desktop Entry]\n";
    text += "Type=Application\n";
    text += "Name=Quorvane\n";
    text += "Comment=Scans the Wine prefix " + EscapeValue(prefixText) + " when you log in\n";
    text += "Exec=env " + DesktopExecArgument("WINEPREFIX=" + prefixText) + " " +
            DesktopExecArgument(program.string()) + " /startup\n";
    text += "Terminal=false\n";
    text += "NoDisplay=true\n";
    text += "X-GNOME-Autostart-enabled=true\n";
    return text;
}

bool WriteAutostartEntry(const fs::path& file, const std::string& text, std::string& error) {
    if (file.empty() || !file.has_parent_path()) {
        error = "The desktop's autostart folder is not known (neither XDG_CONFIG_HOME nor HOME is set).";
        return false;
    }
    std::error_code ec;
    fs::create_directories(file.parent_path(), ec);
    if (ec) {
        error = "The autostart folder " + file.parent_path().string() + " could not be created: " + ec.message() + ".";
        return false;
    }
    try {
        qv::WriteFileAtomically(file, text);
    } catch (const std::exception& e) {
        error = "The autostart entry " + file.string() + " could not be written: " + e.what();
        return false;
    }
    return true;
}

bool RemoveAutostartEntry(const fs::path& file, std::string& error) {
    if (file.empty()) return true;
    std::error_code ec;
    fs::remove(file, ec);
    if (ec) {
        error = "The autostart entry " + file.string() + " could not be removed: " + ec.message() + ".";
        return false;
    }
    return true;
}

}  // namespace autostart
