// libFuzzer target: the archives of cleaned menu files on arbitrary bytes. No crash, and
// every member the reader gives is a plain relative name that cannot climb out of the home
// folder.
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

#include "menus/menu_archive.h"

namespace {

void Check(bool condition) {
    if (!condition) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string error;
    auto files = menus::ReadMenuArchiveBytes(std::string_view(reinterpret_cast<const char*>(data), size), error);
    if (!files) return 0;
    for (const menus::ArchivedFile& f : *files) {
        Check(!f.name.empty() && f.name.front() != '/');
        for (const std::filesystem::path& part : std::filesystem::path(f.name)) Check(part != ".." && part != ".");
        Check((f.mode & ~07777u) == 0);
    }
    return 0;
}
