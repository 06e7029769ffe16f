// ShellExecuteA "open": web addresses and existing files of the active prefix go to the
// desktop's opener; everything else is refused before any program is started.
#include <shellapi.h>

#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <string_view>
#include <thread>

#include "platform/prefix/drive_map.h"
#include "platform/prefix/prefix.h"
#include "platform/win32/replaceable_handler.h"

extern char** environ;

namespace qv {
namespace {

ReplaceableHandler<ShellOpenHandler>& Slot() {
    static ReplaceableHandler<ShellOpenHandler> slot(OpenWithDesktopOpener);
    return slot;
}

bool StartsWithIgnoringCase(std::string_view text, std::string_view prefix) {
    if (text.size() < prefix.size()) return false;
    for (size_t i = 0; i < prefix.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(text[i])) != prefix[i]) return false;
    }
    return true;
}

// True when the text begins with a URL scheme ("name:"). A single letter before the colon
// is a drive letter, not a scheme.
bool HasScheme(std::string_view text) {
    size_t colon = text.find(':');
    if (colon == std::string_view::npos || colon < 2) return false;
    if (!std::isalpha(static_cast<unsigned char>(text[0]))) return false;
    return std::all_of(text.begin(), text.begin() + colon, [](char c) {
        return std::isalnum(static_cast<unsigned char>(c)) || c == '+' || c == '-' || c == '.';
    });
}

// Files that the desktop's opener would run rather than show: program files of both
// systems, scripts and launchers.
bool IsProgramFile(const std::filesystem::path& path, const struct stat& info) {
    if ((info.st_mode & (S_IXUSR | S_IXGRP | S_IXOTH)) != 0) return true;
    static const char* const kProgramExtensions[] = {
        ".exe", ".com", ".bat", ".cmd", ".pif", ".scr", ".msi", ".lnk", ".url", ".vbs",
        ".js",  ".jse", ".wsf", ".ps1", ".jar", ".sh",  ".desktop", ".appimage", ".run"};
    std::string extension = path.extension().string();
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return std::any_of(std::begin(kProgramExtensions), std::end(kProgramExtensions),
                       [&](const char* known) { return extension == known; });
}

HINSTANCE Result(int code) { return reinterpret_cast<HINSTANCE>(static_cast<intptr_t>(code)); }

}  // namespace

ShellOpenHandler SetShellOpenHandler(ShellOpenHandler handler) {
    return Slot().Replace(std::move(handler));
}

bool IsWebAddress(const std::string& address) {
    size_t hostStart;
    if (StartsWithIgnoringCase(address, "http://")) {
        hostStart = 7;
    } else if (StartsWithIgnoringCase(address, "https://")) {
        hostStart = 8;
    } else {
        return false;
    }
    for (unsigned char c : address) {
        // Blanks and control characters have no place in an address and could confuse the
        // opener's own parsing; a backslash could turn it into a Windows path.
        if (c <= 0x20 || c == 0x7F || c == '\\') return false;
    }
    // A host must follow: at least one character before the path, query or fragment.
    return hostStart < address.size() && std::strchr("/?#@:", address[hostStart]) == nullptr;
}

bool OpenWebAddress(const std::string& address) {
    if (!IsWebAddress(address)) return false;
    HINSTANCE result = ShellExecuteA(nullptr, "open", address.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
    return reinterpret_cast<intptr_t>(result) > 32;
}

bool OpenWithDesktopOpener(const ShellOpenRequest& request) {
    posix_spawn_file_actions_t actions;
    posix_spawnattr_t attributes;
    if (posix_spawn_file_actions_init(&actions) != 0) return false;
    if (posix_spawnattr_init(&attributes) != 0) {
        posix_spawn_file_actions_destroy(&actions);
        return false;
    }
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    // A session of its own: the opener and the browser it starts outlive this program and
    // do not receive the terminal's signals.
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSID);
    std::string target = request.target;
    char program[] = "xdg-open";
    char* argv[] = {program, target.data(), nullptr};
    pid_t pid = 0;
    int error = posix_spawnp(&pid, program, &actions, &attributes, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    if (error != 0) return false;
    // xdg-open returns once the browser has been handed the target; collect it without
    // making the caller wait.
    std::thread([pid] {
        int status = 0;
        while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
        }
    }).detach();
    return true;
}

}  // namespace qv

HINSTANCE ShellExecuteA(HWND /*hwnd*/, LPCSTR lpOperation, LPCSTR lpFile, LPCSTR /*lpParameters*/,
                        LPCSTR /*lpDirectory*/, int /*nShowCmd*/) {
    if (lpOperation != nullptr && std::strcmp(lpOperation, "open") != 0) return qv::Result(SE_ERR_NOASSOC);
    if (lpFile == nullptr || lpFile[0] == '\0') return qv::Result(SE_ERR_FNF);
    std::string file = lpFile;

    qv::ShellOpenRequest request;
    if (qv::HasScheme(file)) {
        // Only the web: file:, javascript:, custom handlers and the like never reach the opener.
        if (!qv::IsWebAddress(file)) return qv::Result(SE_ERR_NOASSOC);
        request.kind = qv::ShellOpenRequest::Kind::WebAddress;
        request.target = file;
    } else {
        std::shared_ptr<qv::Prefix> prefix = qv::ActivePrefix();
        if (!prefix) return qv::Result(SE_ERR_FNF);
        std::optional<std::filesystem::path> path = qv::WindowsToUnixPath(*prefix, file);
        struct stat info {};
        if (!path || ::stat(path->c_str(), &info) != 0) return qv::Result(SE_ERR_FNF);
        if (!S_ISREG(info.st_mode)) return qv::Result(SE_ERR_ACCESSDENIED);
        if (qv::IsProgramFile(*path, info)) return qv::Result(SE_ERR_NOASSOC);
        request.kind = qv::ShellOpenRequest::Kind::File;
        // The file's real path, without the prefix's drive links in it.
        std::error_code error;
        std::filesystem::path real = std::filesystem::canonical(*path, error);
        request.target = error ? path->string() : real.string();
    }

    qv::ShellOpenHandler handler = qv::Slot().Current();
    // Windows reports success as a value above 32.
    return handler(request) ? qv::Result(42) : qv::Result(SE_ERR_OOM);
}
