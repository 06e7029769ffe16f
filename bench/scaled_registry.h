// A large registry for benchmarks: a Wine branch file's tree copied under numbered keys
// until it holds a given number of keys.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/registry/reg_key.h"
#include "platform/registry/wine_hive_format.h"

namespace qvbench {

inline size_t CountKeys(const qv::reg::Key& k) {
    size_t n = 0;
    std::vector<const qv::reg::Key*> pending{&k};
    while (!pending.empty()) {
        const qv::reg::Key* c = pending.back();
        pending.pop_back();
        ++n;
        for (const qv::reg::Key* s : c->Subkeys()) pending.push_back(s);
    }
    return n;
}

// The tree of `branchText` plus copies of it under ScaledCopies\CopyAa, CopyAb, ... until
// it holds at least `minKeys` keys. Copies are plain keys (link keys become ordinary ones).
inline std::shared_ptr<qv::reg::Key> ScaledRegistry(const std::string& branchText, size_t minKeys,
                                                    size_t* keysPerCopy = nullptr) {
    using namespace qv::reg;
    ParsedHive h = ParseWineHive(branchText, "system.reg", NowAsFileTime());
    if (keysPerCopy) *keysPerCopy = CountKeys(*h.root);
    auto root = CloneTree(*h.root);
    Key* copies = root->GetOrAddSubkey(u"ScaledCopies");
    copies->modified = h.root->modified;
    for (int i = 0; CountKeys(*root) < minKeys; ++i) {
        Key* dst = copies->GetOrAddSubkey(u"Copy" + std::u16string(1, u'A' + i / 26) + std::u16string(1, u'a' + i % 26));
        dst->modified = h.root->modified;
        std::vector<std::pair<const Key*, Key*>> pending;
        for (const Key* s : h.root->Subkeys()) pending.push_back({s, dst});
        while (!pending.empty()) {
            auto [src, parent] = pending.back();
            pending.pop_back();
            Key* k = parent->GetOrAddSubkey(src->Name());
            k->modified = src->modified;
            if (!src->isLink)
                for (const Value& v : src->Values()) k->SetValue(v.name, v.type, v.data);
            for (const Key* s : src->Subkeys()) pending.push_back({s, k});
        }
    }
    return root;
}

}  // namespace qvbench
