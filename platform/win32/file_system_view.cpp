#include "platform/win32/file_system_view.h"

#include <string_view>

#include "platform/prefix/case_insensitive_name.h"
#include "platform/prefix/prefix.h"
#include "platform/registry/registry_store.h"

namespace qv {
namespace {

thread_local FileSystemView g_view = FileSystemView::Unknown;

bool Is(const std::string& name, std::string_view expected) { return NamesEqualIgnoringCase(name, expected); }

// True when the names after C:\windows\system32 lead into a folder that stays shared.
bool SharedSystemFolder(const std::vector<std::string>& c) {
    if (c.size() < 3) return false;
    const std::string& first = c[2];
    if (Is(first, "catroot") || Is(first, "catroot2") || Is(first, "driversstore") || Is(first, "logfiles") ||
        Is(first, "spool"))
        return true;
    return c.size() >= 4 && Is(first, "drivers") && Is(c[3], "etc");
}

}  // namespace

FileSystemView CurrentFileSystemView() { return g_view; }

ScopedFileSystemView::ScopedFileSystemView(FileSystemView view) : previous_(g_view) { g_view = view; }
ScopedFileSystemView::~ScopedFileSystemView() { g_view = previous_; }

bool ActivePrefixIs64Bit() {
    std::shared_ptr<Prefix> prefix = ActivePrefix();
    return prefix && prefix->Registry().Arch() == "win64";
}

std::optional<WindowsPath> RedirectFor32BitProgram(const WindowsPath& path) {
    const std::vector<std::string>& c = path.components;
    if (path.drive != 'C' || c.size() < 2 || !Is(c[0], "windows")) return std::nullopt;
    WindowsPath out = path;
    if (Is(c[1], "sysnative")) {
        out.components[1] = "system32";
    } else if (Is(c[1], "system32")) {
        if (SharedSystemFolder(c)) return std::nullopt;
        out.components[1] = "syswow64";
    } else if (Is(c[1], "regedit.exe") && c.size() == 2) {
        out.components = {c[0], "syswow64", c[1]};
    } else {
        return std::nullopt;
    }
    return out;
}

WindowsPath PathInCurrentView(const WindowsPath& path) {
    if (g_view != FileSystemView::Bits32 || !ActivePrefixIs64Bit()) return path;
    std::optional<WindowsPath> redirected = RedirectFor32BitProgram(path);
    return redirected ? *redirected : path;
}

}  // namespace qv
