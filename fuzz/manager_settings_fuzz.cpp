// libFuzzer target: the readers of the Wine front-ends' settings (bottle.yml, Lutris game
// .yml, Heroic GamesConfig and library .json, Steam libraryfolders.vdf and appmanifest) on
// arbitrary bytes: none may crash or throw, and what they return is not empty.
#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/prefix/manager_settings.h"

namespace {

void Check(bool condition) {
    if (!condition) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    std::string error;
    if (auto name = qv::BottleName(text, error)) Check(!name->empty());
    error.clear();
    if (auto prefix = qv::LutrisGamePrefix(text, error)) Check(!prefix->empty());
    error.clear();
    for (const auto& [app, prefix] : qv::HeroicWinePrefixes(text, error)) Check(!prefix.empty());
    error.clear();
    qv::HeroicTitles(text, error);
    error.clear();
    for (const std::string& path : qv::SteamLibraryFolders(text, error)) Check(!path.empty());
    error.clear();
    if (auto name = qv::SteamAppName(text, error)) Check(!name->empty());
    return 0;
}
