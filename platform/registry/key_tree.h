// The storage of one registry tree: keys, names, value slots, value bytes and subkey lists
// are carved from blocks that the tree owns and frees all at once.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string_view>
#include <vector>

#include "platform/registry/reg_key.h"

namespace qv::reg {

class KeyTree {
public:
    explicit KeyTree(std::u16string_view rootName = u"");
    ~KeyTree();
    KeyTree(const KeyTree&) = delete;
    KeyTree& operator=(const KeyTree&) = delete;

    Key& Root() { return *root_; }

    // A new key below `parent` (not yet listed there), its name copied into the tree.
    Key* NewKey(Key* parent, std::u16string_view name);

    // Raw storage, aligned to `align` (a power of two no larger than 16).
    void* Allocate(size_t bytes, size_t align);
    template <typename T>
    T* AllocateArray(size_t count) {
        return static_cast<T*>(Allocate(count * sizeof(T), alignof(T)));
    }
    // A list (of values or subkeys) of `newBytes` holding the `oldBytes` of `list`. Lists have
    // blocks of their own, so that the list a key is being filled with is usually the last
    // thing in its block and grows where it is.
    void* GrowList(void* list, size_t oldBytes, size_t newBytes, size_t align);
    const char16_t* CopyUnits(std::u16string_view s);
    std::span<const uint8_t> CopyBytes(std::span<const uint8_t> bytes);

    // Bytes taken from the system for this tree.
    size_t StorageBytes() const { return storageBytes_; }

private:
    struct Region {
        std::byte* next = nullptr;
        size_t left = 0;
        size_t nextBlockSize;
    };
    std::byte* NewBlock(size_t bytes);
    void* AllocateIn(Region& r, size_t bytes, size_t align);

    std::vector<void*> blocks_;
    Region items_;  // keys, names, value bytes
    Region lists_;  // value and subkey lists
    size_t storageBytes_ = 0;
    Key* root_ = nullptr;
};

}  // namespace qv::reg
