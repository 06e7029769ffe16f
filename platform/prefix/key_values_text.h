// A tolerant reader of the KeyValues text the Steam client writes (libraryfolders.vdf,
// appmanifest_<appid>.acf): "key" "value" pairs and "key" { ... } blocks, nested.
//
// The files come from outside Quorvane and may be cut short or edited by hand, so the
// reader never fails: it keeps everything it read before the first fault and says where
// that fault was. Depth and node count are bounded.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace qv {

struct KeyValuesNode {
    std::string key;
    std::string value;                   // empty for a block
    bool block = false;                  // "key" { ... }
    std::vector<KeyValuesNode> children; // a block's entries, in file order
};

struct KeyValuesText {
    std::vector<KeyValuesNode> top;  // the entries at the outermost level
    std::string error;               // empty when the whole text was well formed
};

KeyValuesText ParseKeyValues(std::string_view text);

// The first direct child of `entries` whose key equals `key` (ASCII case ignored, as the
// Steam client does), or null.
const KeyValuesNode* FindKey(const std::vector<KeyValuesNode>& entries, std::string_view key);

}  // namespace qv
