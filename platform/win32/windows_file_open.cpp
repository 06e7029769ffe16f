#include "platform/win32/windows_file_open.h"

#include <cctype>
#include <cerrno>

#include "platform/prefix/drive_map.h"
#include "platform/prefix/prefix.h"

namespace qv {

std::optional<std::filesystem::path> FileNameToUnix(const std::string& name) {
    if (!name.empty() && name[0] == '/') return std::filesystem::path(name);
    std::shared_ptr<Prefix> prefix = ActivePrefix();
    if (!prefix || name.empty()) return std::nullopt;
    return WindowsToUnixPath(*prefix, name);
}

std::optional<std::filesystem::path> CommandLineFileToUnix(const std::string& name) {
    if (name.empty()) return std::nullopt;
    const bool drive = name.size() >= 2 && name[1] == ':' && std::isalpha(static_cast<unsigned char>(name[0]));
    if (drive || name.rfind("\\\\", 0) == 0) return FileNameToUnix(name);
    std::error_code ec;
    std::filesystem::path absolute = std::filesystem::absolute(name, ec);
    if (ec) return std::nullopt;
    return absolute;
}

FILE* FopenWindows(const std::string& name, const char* mode) {
    std::optional<std::filesystem::path> p = FileNameToUnix(name);
    if (!p) {
        errno = ENOENT;
        return nullptr;
    }
    return std::fopen(p->c_str(), mode);
}

}  // namespace qv
