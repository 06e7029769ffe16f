// The in-memory registry tree: keys with sorted subkeys and values, as Wine keeps them.
//
// A tree is compact: its keys, their names, value slots, value bytes and subkey lists all
// live in blocks owned by the tree (key_arena.h), with no allocation of its own per key or
// per value. Nothing in a tree is freed before the tree: a removed key stays readable (it is
// marked deleted) and replaced value bytes stay where they were, so a view of a name or of
// value data taken from a tree stays valid as long as the tree does. A tree is held through
// the shared pointer to its root key that NewKeyTree and CloneTree return; that pointer owns
// the whole tree.
#pragma once

#include <algorithm>
#include <cstdint>
#include <initializer_list>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace qv::reg {

// Windows FILETIME ticks (100 ns since 1601-01-01) of a Unix time in seconds.
constexpr int64_t kTicksPerSecond = 10000000;
constexpr int64_t kTicks1601To1970 = 116444736000000000LL;
int64_t NowAsFileTime();

// Wine's limits: a key name element holds at most 256 code units, a value name 16383.
constexpr size_t kMaxKeyNameUnits = 256;
constexpr size_t kMaxValueNameUnits = 16383;

// A value as the tree holds it; the name and data are views into the tree's storage.
struct Value {
    std::u16string_view name;  // empty = the default value
    uint32_t type = 0;
    std::span<const uint8_t> data;
};

inline bool SameBytes(std::span<const uint8_t> a, std::span<const uint8_t> b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin());
}

class KeyTree;

class Key {
public:
    Key(const Key&) = delete;
    Key& operator=(const Key&) = delete;

    std::u16string_view Name() const { return {name_, nameLen_}; }
    Key* Parent() const { return parent_; }

    // Subkeys in Wine's order.
    std::span<Key* const> Subkeys() const { return {subkeys_, subkeyCount_}; }
    Key* FindSubkey(std::u16string_view name) const;
    // Returns the existing subkey of that name or a new one (created with time 0).
    Key* GetOrAddSubkey(std::u16string_view name, bool* created = nullptr);
    // Detaches a subkey; it and everything below it are marked deleted. They keep their
    // parent, so that the path they had can still be told.
    bool RemoveSubkey(std::u16string_view name);

    // Values in Wine's order (the default value first).
    std::span<const Value> Values() const { return {values_, valueCount_}; }
    const Value* FindValue(std::u16string_view name) const;
    // Sets a value; a name that exists (case-insensitively) keeps its first spelling. The
    // bytes are copied into the tree.
    void SetValue(std::u16string_view name, uint32_t type, std::span<const uint8_t> data);
    void SetValue(std::u16string_view name, uint32_t type, std::initializer_list<uint8_t> data) {
        SetValue(name, type, std::span<const uint8_t>(data.begin(), data.size()));
    }
    bool RemoveValue(std::u16string_view name);
    // Gives a key that has no values yet all of `values` at once, in one block of exactly
    // their size: names strictly in Wine's order, names and data already in this tree.
    void AdoptSortedValues(std::span<const Value> values);

    // The key's class name, when it has one.
    std::optional<std::u16string_view> KeyClass() const {
        if (!hasClass_) return std::nullopt;
        return std::u16string_view(class_, classLen_);
    }
    void SetKeyClass(std::optional<std::u16string_view> keyClass);

    int64_t modified = 0;  // FILETIME; 0 while loading means "not known yet"
    bool isLink = false;
    bool isVolatile = false;
    bool Deleted() const { return deleted_; }

    // Sets the time of this key and of every ancestor whose time is not known yet.
    void UpdateTimeUpward(int64_t t);
    // Stamps this key as changed now.
    void Touch(int64_t t) { modified = t; }

    // Path from `base` (exclusive) down to this key, elements joined by '\'.
    std::u16string PathFrom(const Key* base) const;
    size_t Depth() const;

    // The tree this key belongs to (its storage).
    KeyTree& Tree() const { return *tree_; }

private:
    friend class KeyTree;
    Key(KeyTree* tree, Key* parent, const char16_t* name, uint32_t nameLen)
        : tree_(tree), parent_(parent), name_(name), nameLen_(nameLen) {}

    size_t LowerBoundSubkey(std::u16string_view name) const;
    size_t LowerBoundValue(std::u16string_view name) const;
    void MarkDeletedTree();

    KeyTree* tree_;
    Key* parent_;
    const char16_t* name_;
    uint32_t nameLen_;
    uint32_t subkeyCount_ = 0;
    uint32_t subkeyCapacity_ = 0;
    uint32_t valueCount_ = 0;
    Key** subkeys_ = nullptr;
    Value* values_ = nullptr;
    const char16_t* class_ = nullptr;
    uint32_t classLen_ = 0;
    uint32_t valueCapacity_ = 0;
    bool hasClass_ = false;
    bool deleted_ = false;
};

// A new tree holding one key (without a name unless given); the pointer owns the tree.
std::shared_ptr<Key> NewKeyTree(std::u16string_view rootName = u"");

// Deep copy of a subtree into a new tree (for snapshots and journal replays in tests).
std::shared_ptr<Key> CloneTree(const Key& key);

// Bytes of the tree's storage (keys, names, values, lists), for memory figures.
size_t TreeStorageBytes(const Key& anyKey);

}  // namespace qv::reg
