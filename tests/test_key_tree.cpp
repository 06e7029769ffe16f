// The compact key tree against a plain model: random changes of values and subkeys, with
// names that differ only in case, must leave the same lists in the same order with the same
// bytes, and what a removed key held stays readable.
#include <gtest/gtest.h>

#include <map>
#include <random>

#include "platform/registry/reg_key.h"
#include "platform/registry/reg_text.h"

using namespace qv::reg;

namespace {

// Model: folded name -> (first spelling, data); std::map of folded names gives Wine's order
// for these ASCII names.
struct ModelKey {
    std::map<std::u16string, std::pair<std::u16string, std::vector<uint8_t>>> values;
    std::map<std::u16string, std::u16string> subkeys;
};

std::u16string Fold(std::u16string_view s) {
    std::u16string out(s);
    for (char16_t& c : out) c = FoldCase(c);
    return out;
}

std::u16string RandomName(std::mt19937& rng) {
    static const char16_t letters[] = u"aAbBcC_";
    std::u16string s;
    for (size_t n = 1 + rng() % 3; n > 0; --n) s += letters[rng() % 7];
    return s;
}

void ExpectSame(const Key& k, const ModelKey& m) {
    ASSERT_EQ(k.Values().size(), m.values.size());
    size_t i = 0;
    for (const auto& [folded, entry] : m.values) {
        const Value& v = k.Values()[i++];
        EXPECT_EQ(std::u16string(v.name), entry.first);
        EXPECT_TRUE(SameBytes(v.data, entry.second));
    }
    ASSERT_EQ(k.Subkeys().size(), m.subkeys.size());
    i = 0;
    for (const auto& [folded, name] : m.subkeys) EXPECT_EQ(std::u16string(k.Subkeys()[i++]->Name()), name);
}

}  // namespace

TEST(KeyTree, RandomChangesKeepWinesOrderFirstSpellingsAndEveryByte) {
    std::mt19937 rng(20261209);
    std::shared_ptr<Key> root = NewKeyTree();
    // Two keys changed in turn, so that neither list stays last in its block for long.
    Key* keys[2] = {root->GetOrAddSubkey(u"One"), root->GetOrAddSubkey(u"Two")};
    ModelKey models[2];
    for (int step = 0; step < 20000; ++step) {
        const int which = static_cast<int>(rng() % 2);
        Key& k = *keys[which];
        ModelKey& m = models[which];
        const std::u16string name = RandomName(rng);
        const std::u16string folded = Fold(name);
        switch (rng() % 4) {
            case 0: {
                std::vector<uint8_t> data(rng() % 40, static_cast<uint8_t>(step));
                k.SetValue(name, 3, data);
                auto it = m.values.find(folded);
                if (it == m.values.end()) m.values[folded] = {name, data};
                else it->second.second = data;
                break;
            }
            case 1:
                EXPECT_EQ(k.RemoveValue(name), m.values.erase(folded) == 1);
                break;
            case 2:
                k.GetOrAddSubkey(name);
                m.subkeys.emplace(folded, name);
                break;
            case 3:
                EXPECT_EQ(k.RemoveSubkey(name), m.subkeys.erase(folded) == 1);
                break;
        }
        if (step % 997 == 0) {
            ExpectSame(*keys[0], models[0]);
            ExpectSame(*keys[1], models[1]);
        }
    }
    ExpectSame(*keys[0], models[0]);
    ExpectSame(*keys[1], models[1]);
}

TEST(KeyTree, ARemovedKeyStaysReadableWithItsPathAndACloneIsDeep) {
    std::shared_ptr<Key> root = NewKeyTree();
    Key* app = root->GetOrAddSubkey(u"Software")->GetOrAddSubkey(u"App");
    Key* deep = app->GetOrAddSubkey(u"Deep");
    deep->SetValue(u"v", 1, {'x', 0, 0, 0});
    deep->SetKeyClass(u"cls");
    std::shared_ptr<Key> copy = CloneTree(*root);
    ASSERT_TRUE(root->FindSubkey(u"software")->RemoveSubkey(u"APP"));
    EXPECT_TRUE(app->Deleted());
    EXPECT_TRUE(deep->Deleted());
    EXPECT_EQ(deep->PathFrom(root.get()), u"Software\\App\\Deep");
    ASSERT_NE(deep->FindValue(u"V"), nullptr);
    EXPECT_EQ(deep->FindValue(u"V")->data.size(), 4u);
    // The copy is unaffected, names and classes included.
    const Key* copied = copy->FindSubkey(u"Software")->FindSubkey(u"App")->FindSubkey(u"Deep");
    ASSERT_NE(copied, nullptr);
    EXPECT_FALSE(copied->Deleted());
    EXPECT_EQ(copied->KeyClass(), std::optional<std::u16string_view>(u"cls"));
    EXPECT_NE(&copied->Tree(), &deep->Tree());
}
