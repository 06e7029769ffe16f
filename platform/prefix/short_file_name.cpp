#include "platform/prefix/short_file_name.h"

#include <cstdint>

#include "platform/registry/reg_text.h"

namespace qv {
namespace {

// Characters Wine never lets stand in a short name (besides every non-ASCII one).
constexpr std::u16string_view kReplacedInShortName = u"*?<>|\"+=,;[] ~.";
// Characters that make a name no valid 8.3 name (besides non-ASCII ones and a second dot).
constexpr std::u16string_view kInvalidIn83Name = u"*?<>|\"+=,;[] :/\\";
// The alphabet of the three hash characters: five bits each.
constexpr std::string_view kHashCharacters = "ABCDEFGHIJKLMNOPQRSTUVWXYZ012345";

bool IsValid83(std::u16string_view name) {
    if (name.size() > 12) return false;
    if (!name.empty() && name[0] == '.') return name == u"." || name == u"..";
    size_t dot = std::u16string_view::npos;
    for (size_t i = 0; i < name.size(); ++i) {
        char16_t c = name[i];
        if (c > 0x7F || kInvalidIn83Name.find(c) != std::u16string_view::npos) return false;
        if (c == '.') {
            if (dot != std::u16string_view::npos) return false;
            dot = i;
        }
    }
    if (dot == std::u16string_view::npos) return name.size() <= 8;
    size_t extension = name.size() - dot - 1;
    return dot <= 8 && extension >= 1 && extension <= 3;
}

char ShortNameCharacter(char16_t c) {
    if (c > 0x7F || kReplacedInShortName.find(c) != std::u16string_view::npos) return '_';
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : static_cast<char>(c);
}

// Wine's 16-bit hash of a name, taken over its UTF-16 code units in lower case: each unit
// and the one after it are mixed into the running value, the last unit on its own.
uint16_t NameHash(std::u16string_view name) {
    uint32_t hash = 0xBEEF;
    for (size_t i = 0; i < name.size(); ++i) {
        uint32_t mixed = reg::FoldCase(name[i]);
        if (i + 1 < name.size()) mixed ^= static_cast<uint32_t>(reg::FoldCase(name[i + 1])) << 8;
        hash = ((hash << 3) ^ (hash >> 5) ^ mixed) & 0xFFFF;
    }
    return static_cast<uint16_t>(hash);
}

std::string HashedShortName(std::u16string_view name) {
    if (name.empty()) return {};
    // The extension starts at the last dot that is neither the first nor the last character.
    size_t extension = std::u16string_view::npos;
    for (size_t i = 1; i + 1 < name.size(); ++i)
        if (name[i] == '.') extension = i;

    // Dots before the extension count as characters and become "_" like other unfit ones.
    std::string result;
    for (size_t i = 0; i < name.size() && i != extension && result.size() < 4; ++i)
        result += ShortNameCharacter(name[i]);
    result.append(5 - result.size(), '~');
    uint16_t hash = NameHash(name);
    result += kHashCharacters[(hash >> 10) & 0x1F];
    result += kHashCharacters[(hash >> 5) & 0x1F];
    result += kHashCharacters[hash & 0x1F];
    if (extension != std::u16string_view::npos) {
        result += '.';
        for (size_t i = extension + 1; i < name.size() && i <= extension + 3; ++i)
            result += ShortNameCharacter(name[i]);
    }
    return result;
}

}  // namespace

bool IsShortNameValid(std::string_view name) { return IsValid83(reg::ToUtf16(name)); }

std::string HashedShortName(std::string_view longName) { return HashedShortName(reg::ToUtf16(longName)); }

std::string ShortNameOf(std::string_view longName) {
    std::u16string name = reg::ToUtf16(longName);
    return IsValid83(name) ? std::string() : HashedShortName(name);
}

bool MayBeHashedShortName(std::string_view name) {
    return name.size() >= 8 && name[4] == '~' && IsShortNameValid(name);
}

}  // namespace qv
