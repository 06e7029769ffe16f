#include "platform/prefix/current_directory.h"

#include <mutex>

namespace qv {
namespace {

std::mutex& DirectoryMutex() {
    static std::mutex mutex;
    return mutex;
}

std::string& DirectoryText() {
    static std::string text = "C:\\windows\\system32";
    return text;
}

}  // namespace

std::string CurrentWindowsDirectory() {
    std::lock_guard lock(DirectoryMutex());
    return DirectoryText();
}

void StoreCurrentWindowsDirectory(std::string fullPath) {
    std::lock_guard lock(DirectoryMutex());
    DirectoryText() = std::move(fullPath);
}

}  // namespace qv
