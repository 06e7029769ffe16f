// libFuzzer target: desktop entry files as Wine's menu builder and other programs write
// them: the keys of [Desktop Entry], the Exec line split into words, and the Wine launch
// read from them, on arbitrary bytes. Words quoted back split into the same words.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "menus/desktop_entry.h"
#include "menus/wine_launch.h"

namespace {

void Check(bool condition) {
    if (!condition) __builtin_trap();
}

std::string Quote(const std::string& word) {
    std::string q = "\"";
    for (char c : word) {
        if (c == '"' || c == '\\' || c == '`' || c == '$') q += '\\';
        q += c;
    }
    return q + "\"";
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const auto keys = menus::ReadDesktopEntry(text);
    auto exec = keys.find("Exec");
    const std::string line = exec != keys.end() ? exec->second : std::string(text);
    if (auto words = menus::SplitExec(line)) {
        std::string again;
        for (const std::string& w : *words) again += (again.empty() ? "" : " ") + Quote(w);
        auto back = menus::SplitExec(again);
        Check(back.has_value() && *back == *words);
        if (auto launch = menus::ReadWineLaunch(*words)) Check(launch->prefix.is_absolute());
    }
    return 0;
}
