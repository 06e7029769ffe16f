// The running program's identity as Windows programs ask for it: its file and its command
// line, both in Windows form.
#include <unistd.h>

#include <cstring>
#include <deque>
#include <filesystem>
#include <mutex>
#include <string>
#include <system_error>

#include <windows.h>

#include "platform/prefix/drive_map.h"
#include "platform/prefix/prefix.h"
#include "platform/win32/command_line.h"

namespace {

// The program file as a Windows path through the active prefix; without a prefix, Wine's
// usual mapping of the Unix root to Z:.
std::string ModulePath() {
    std::error_code error;
    std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", error);
    if (error || exe.empty()) return {};
    if (std::shared_ptr<qv::Prefix> prefix = qv::ActivePrefix()) return qv::UnixToWindowsPath(*prefix, exe);
    std::string text = "Z:";
    for (char c : exe.string()) text += (c == '/') ? '\\' : c;
    return text;
}

}  // namespace

DWORD GetModuleFileNameA(HMODULE hModule, LPSTR lpFilename, DWORD nSize) {
    // Only the program itself is a module here.
    if (hModule != nullptr) {
        SetLastError(ERROR_INVALID_HANDLE);
        return 0;
    }
    std::string path = ModulePath();
    if (path.empty()) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return 0;
    }
    if (lpFilename == nullptr || nSize == 0) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    if (path.size() < nSize) {
        std::memcpy(lpFilename, path.c_str(), path.size() + 1);
        SetLastError(ERROR_SUCCESS);
        return static_cast<DWORD>(path.size());
    }
    // Too long: as Windows, the buffer gets what fits, NUL-terminated, and the full size
    // is returned with ERROR_INSUFFICIENT_BUFFER.
    std::memcpy(lpFilename, path.data(), nSize - 1);
    lpFilename[nSize - 1] = '\0';
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return nSize;
}

LPSTR GetCommandLineA(void) {
    // The pointer handed out stays valid for the life of the process, as on Windows: each
    // distinct text is kept, and an unchanged one is handed out again.
    static std::mutex mutex;
    static std::deque<std::string> texts;
    std::vector<std::string> args = qv::CommandLineArgs();
    if (!args.empty()) args.erase(args.begin());
    std::string program = ModulePath();
    if (program.empty()) {
        std::vector<std::string> all = qv::CommandLineArgs();
        program = all.empty() ? std::string() : all.front();
    }
    std::string line = qv::BuildWindowsCommandLine(program, args);
    std::lock_guard lock(mutex);
    if (texts.empty() || texts.back() != line) texts.push_back(std::move(line));
    return texts.back().data();
}
