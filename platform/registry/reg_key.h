// The in-memory registry tree: keys with sorted subkeys and values, as Wine keeps them.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
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

struct Value {
    std::u16string name;  // empty = the default value
    uint32_t type = 0;
    std::vector<uint8_t> data;
};

class Key : public std::enable_shared_from_this<Key> {
public:
    explicit Key(std::u16string name) : name_(std::move(name)) {}
    ~Key();
    Key(const Key&) = delete;
    Key& operator=(const Key&) = delete;

    const std::u16string& Name() const { return name_; }
    Key* Parent() const { return parent_; }

    // Subkeys in Wine's order.
    const std::vector<std::shared_ptr<Key>>& Subkeys() const { return subkeys_; }
    Key* FindSubkey(std::u16string_view name) const;
    // Returns the existing subkey of that name or a new one (created with time 0).
    Key* GetOrAddSubkey(std::u16string_view name, bool* created = nullptr);
    // Detaches a subkey; it and everything below it are marked deleted.
    bool RemoveSubkey(std::u16string_view name);

    // Values in Wine's order (the default value first).
    const std::vector<Value>& Values() const { return values_; }
    const Value* FindValue(std::u16string_view name) const;
    // Sets a value; a name that exists (case-insensitively) keeps its first spelling.
    void SetValue(std::u16string_view name, uint32_t type, std::vector<uint8_t> data);
    bool RemoveValue(std::u16string_view name);

    int64_t modified = 0;  // FILETIME; 0 while loading means "not known yet"
    std::optional<std::u16string> keyClass;
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

private:
    size_t LowerBoundSubkey(std::u16string_view name) const;
    size_t LowerBoundValue(std::u16string_view name) const;
    void MarkDeletedTree();

    std::u16string name_;
    Key* parent_ = nullptr;
    std::vector<std::shared_ptr<Key>> subkeys_;
    std::vector<Value> values_;
    bool deleted_ = false;
};

// Deep copy of a subtree (for snapshots and journal replays in tests).
std::shared_ptr<Key> CloneTree(const Key& key);

}  // namespace qv::reg
