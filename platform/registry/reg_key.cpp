#include "platform/registry/reg_key.h"

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <new>

#include <sys/mman.h>

#include "platform/registry/key_tree.h"
#include "platform/registry/reg_text.h"

namespace qv::reg {

int64_t NowAsFileTime() {
    using namespace std::chrono;
    auto ns = duration_cast<nanoseconds>(system_clock::now().time_since_epoch()).count();
    return kTicks1601To1970 + ns / 100;
}

// ---- the tree's storage ------------------------------------------------------------------

namespace {

// Blocks start small (a prefix's small branches stay small) and double up to the size of a
// huge page: a large tree then takes its memory in huge pages, with one page fault per 2 MB
// instead of one per 4 KB.
constexpr size_t kFirstBlock = 4096;
constexpr size_t kHugePage = size_t(2) << 20;
constexpr size_t kLargestBlock = kHugePage;

}  // namespace

KeyTree::KeyTree(std::u16string_view rootName) {
    items_.nextBlockSize = kFirstBlock;
    lists_.nextBlockSize = kFirstBlock;
    root_ = NewKey(nullptr, rootName);
}

KeyTree::~KeyTree() {
    for (void* b : blocks_) std::free(b);
}

namespace {

#ifdef MADV_POPULATE_WRITE
constexpr int kPopulateWrite = MADV_POPULATE_WRITE;
#else
constexpr int kPopulateWrite = 23;  // Linux 5.14 and later
#endif
constexpr size_t kPopulatedBlock = size_t(64) << 10;

}  // namespace

std::byte* KeyTree::NewBlock(size_t bytes) {
    void* p = nullptr;
    if (bytes >= kHugePage && bytes % kHugePage == 0) {
        if (::posix_memalign(&p, kHugePage, bytes) != 0) p = nullptr;
        if (p) (void)::madvise(p, bytes, MADV_HUGEPAGE);
    } else {
        p = std::malloc(bytes);
    }
    if (!p) throw std::bad_alloc();
    // A tree fills its blocks from start to end: a large one is faulted in with one call
    // rather than a page at a time (where the kernel cannot, the pages come as touched).
    if (bytes >= kPopulatedBlock) {
        const uintptr_t page = 4096;
        const uintptr_t begin = (reinterpret_cast<uintptr_t>(p) + page - 1) & ~(page - 1);
        const uintptr_t end = (reinterpret_cast<uintptr_t>(p) + bytes) & ~(page - 1);
        if (end > begin) (void)::madvise(reinterpret_cast<void*>(begin), end - begin, kPopulateWrite);
    }
    blocks_.push_back(p);
    storageBytes_ += bytes;
    return static_cast<std::byte*>(p);
}

void* KeyTree::AllocateIn(Region& r, size_t bytes, size_t align) {
    if (bytes == 0) bytes = 1;
    size_t pad = (align - (reinterpret_cast<uintptr_t>(r.next) & (align - 1))) & (align - 1);
    if (pad + bytes > r.left) {
        if (bytes > r.nextBlockSize / 4) {
            // A large piece gets a block of its own, so that the current block stays in use.
            std::byte* p = NewBlock(bytes + 16);
            p += (align - (reinterpret_cast<uintptr_t>(p) & (align - 1))) & (align - 1);
            return p;
        }
        r.next = NewBlock(r.nextBlockSize);
        r.left = r.nextBlockSize;
        r.nextBlockSize = std::min(r.nextBlockSize * 2, kLargestBlock);
        pad = (align - (reinterpret_cast<uintptr_t>(r.next) & (align - 1))) & (align - 1);
    }
    std::byte* p = r.next + pad;
    r.next = p + bytes;
    r.left -= pad + bytes;
    return p;
}

void* KeyTree::Allocate(size_t bytes, size_t align) { return AllocateIn(items_, bytes, align); }

void* KeyTree::GrowList(void* list, size_t oldBytes, size_t newBytes, size_t align) {
    std::byte* p = static_cast<std::byte*>(list);
    if (p && p + oldBytes == lists_.next && newBytes - oldBytes <= lists_.left) {
        lists_.next += newBytes - oldBytes;
        lists_.left -= newBytes - oldBytes;
        return p;
    }
    // The old list stays where it is until the tree goes; growth by doubling bounds that waste.
    void* grown = AllocateIn(lists_, newBytes, align);
    if (oldBytes) std::memcpy(grown, list, oldBytes);
    return grown;
}

const char16_t* KeyTree::CopyUnits(std::u16string_view s) {
    if (s.empty()) return u"";
    char16_t* p = AllocateArray<char16_t>(s.size());
    std::memcpy(p, s.data(), s.size() * sizeof(char16_t));
    return p;
}

std::span<const uint8_t> KeyTree::CopyBytes(std::span<const uint8_t> bytes) {
    if (bytes.empty()) return {};
    uint8_t* p = AllocateArray<uint8_t>(bytes.size());
    std::memcpy(p, bytes.data(), bytes.size());
    return {p, bytes.size()};
}

Key* KeyTree::NewKey(Key* parent, std::u16string_view name) {
    void* place = Allocate(sizeof(Key), alignof(Key));
    const char16_t* stored = CopyUnits(name);
    return new (place) Key(this, parent, stored, static_cast<uint32_t>(name.size()));
}

namespace {

// Keeps the tree alive as long as any pointer to its root exists.
struct TreeHolder {
    explicit TreeHolder(std::u16string_view rootName) : tree(rootName) {}
    KeyTree tree;
};

}  // namespace

std::shared_ptr<Key> NewKeyTree(std::u16string_view rootName) {
    auto holder = std::make_shared<TreeHolder>(rootName);
    return std::shared_ptr<Key>(holder, &holder->tree.Root());
}

size_t TreeStorageBytes(const Key& anyKey) { return anyKey.Tree().StorageBytes(); }

// ---- keys --------------------------------------------------------------------------------

size_t Key::LowerBoundSubkey(std::u16string_view name) const {
    // Files list keys in order, so a new key usually goes last.
    if (subkeyCount_ && CompareNames(subkeys_[subkeyCount_ - 1]->Name(), name) < 0) return subkeyCount_;
    Key* const* begin = subkeys_;
    Key* const* it = std::lower_bound(begin, begin + subkeyCount_, name, [](const Key* k, std::u16string_view n) {
        return CompareNames(k->Name(), n) < 0;
    });
    return static_cast<size_t>(it - subkeys_);
}

size_t Key::LowerBoundValue(std::u16string_view name) const {
    if (valueCount_ && CompareNames(values_[valueCount_ - 1].name, name) < 0) return valueCount_;
    const Value* begin = values_;
    const Value* it = std::lower_bound(begin, begin + valueCount_, name, [](const Value& v, std::u16string_view n) {
        return CompareNames(v.name, n) < 0;
    });
    return static_cast<size_t>(it - values_);
}

Key* Key::FindSubkey(std::u16string_view name) const {
    size_t i = LowerBoundSubkey(name);
    if (i < subkeyCount_ && CompareNames(subkeys_[i]->Name(), name) == 0) return subkeys_[i];
    return nullptr;
}

Key* Key::GetOrAddSubkey(std::u16string_view name, bool* created) {
    // Hive files and exports list keys in order, so a new name usually goes last: one
    // comparison instead of a search.
    const size_t i = subkeyCount_ > 0 && CompareNames(subkeys_[subkeyCount_ - 1]->Name(), name) < 0
                         ? subkeyCount_
                         : LowerBoundSubkey(name);
    if (i < subkeyCount_ && CompareNames(subkeys_[i]->Name(), name) == 0) {
        if (created) *created = false;
        return subkeys_[i];
    }
    Key* k = tree_->NewKey(this, name);
    k->isVolatile = isVolatile;
    if (subkeyCount_ == subkeyCapacity_) {
        uint32_t cap = subkeyCapacity_ ? subkeyCapacity_ * 2 : 1;
        subkeys_ = static_cast<Key**>(
            tree_->GrowList(subkeys_, subkeyCapacity_ * sizeof(Key*), cap * sizeof(Key*), alignof(Key*)));
        subkeyCapacity_ = cap;
    }
    std::memmove(subkeys_ + i + 1, subkeys_ + i, (subkeyCount_ - i) * sizeof(Key*));
    subkeys_[i] = k;
    ++subkeyCount_;
    if (created) *created = true;
    return k;
}

void Key::MarkDeletedTree() {
    std::vector<Key*> pending{this};
    while (!pending.empty()) {
        Key* k = pending.back();
        pending.pop_back();
        k->deleted_ = true;
        for (Key* c : k->Subkeys()) pending.push_back(c);
    }
}

bool Key::RemoveSubkey(std::u16string_view name) {
    size_t i = LowerBoundSubkey(name);
    if (i >= subkeyCount_ || CompareNames(subkeys_[i]->Name(), name) != 0) return false;
    Key* k = subkeys_[i];
    std::memmove(subkeys_ + i, subkeys_ + i + 1, (subkeyCount_ - i - 1) * sizeof(Key*));
    --subkeyCount_;
    k->MarkDeletedTree();
    return true;
}

const Value* Key::FindValue(std::u16string_view name) const {
    size_t i = LowerBoundValue(name);
    if (i < valueCount_ && CompareNames(values_[i].name, name) == 0) return &values_[i];
    return nullptr;
}

void Key::SetValue(std::u16string_view name, uint32_t type, std::span<const uint8_t> data) {
    size_t i = LowerBoundValue(name);
    std::span<const uint8_t> stored = tree_->CopyBytes(data);
    if (i < valueCount_ && CompareNames(values_[i].name, name) == 0) {
        values_[i].type = type;
        values_[i].data = stored;
        return;
    }
    if (valueCount_ == valueCapacity_) {
        uint32_t cap = valueCapacity_ ? valueCapacity_ * 2 : 1;
        values_ = static_cast<Value*>(
            tree_->GrowList(values_, valueCapacity_ * sizeof(Value), cap * sizeof(Value), alignof(Value)));
        valueCapacity_ = cap;
    }
    std::copy_backward(values_ + i, values_ + valueCount_, values_ + valueCount_ + 1);
    values_[i] = Value{std::u16string_view(tree_->CopyUnits(name), name.size()), type, stored};
    ++valueCount_;
}

void Key::AdoptSortedValues(std::span<const Value> values) {
    if (values.empty()) return;
    Value* list = static_cast<Value*>(tree_->GrowList(nullptr, 0, values.size() * sizeof(Value), alignof(Value)));
    std::copy(values.begin(), values.end(), list);
    values_ = list;
    valueCount_ = valueCapacity_ = static_cast<uint32_t>(values.size());
}

bool Key::RemoveValue(std::u16string_view name) {
    size_t i = LowerBoundValue(name);
    if (i >= valueCount_ || CompareNames(values_[i].name, name) != 0) return false;
    std::copy(values_ + i + 1, values_ + valueCount_, values_ + i);
    --valueCount_;
    return true;
}

void Key::SetKeyClass(std::optional<std::u16string_view> keyClass) {
    hasClass_ = keyClass.has_value();
    if (hasClass_) {
        class_ = tree_->CopyUnits(*keyClass);
        classLen_ = static_cast<uint32_t>(keyClass->size());
    } else {
        class_ = nullptr;
        classLen_ = 0;
    }
}

void Key::UpdateTimeUpward(int64_t t) {
    for (Key* k = this; k && !k->modified; k = k->parent_) k->modified = t;
}

std::u16string Key::PathFrom(const Key* base) const {
    size_t len = 0;
    const Key* k = this;
    for (; k && k != base; k = k->parent_) len += k->nameLen_ + 1;
    std::u16string out(len ? len - 1 : 0, u'\\');
    size_t end = out.size();
    for (k = this; k && k != base; k = k->parent_) {
        end -= k->nameLen_;
        std::copy(k->name_, k->name_ + k->nameLen_, out.begin() + static_cast<std::ptrdiff_t>(end));
        if (end) --end;
    }
    return out;
}

size_t Key::Depth() const {
    size_t d = 0;
    for (const Key* k = parent_; k; k = k->parent_) ++d;
    return d;
}

std::shared_ptr<Key> CloneTree(const Key& key) {
    std::shared_ptr<Key> root = NewKeyTree(key.Name());
    KeyTree& tree = root->Tree();
    std::vector<std::pair<const Key*, Key*>> pending{{&key, root.get()}};
    std::vector<Value> values;
    while (!pending.empty()) {
        auto [src, dst] = pending.back();
        pending.pop_back();
        dst->modified = src->modified;
        dst->SetKeyClass(src->KeyClass());
        dst->isLink = src->isLink;
        dst->isVolatile = src->isVolatile;
        values.clear();
        for (const Value& v : src->Values())
            values.push_back({std::u16string_view(tree.CopyUnits(v.name), v.name.size()), v.type, tree.CopyBytes(v.data)});
        dst->AdoptSortedValues(values);
        for (Key* c : src->Subkeys()) pending.push_back({c, dst->GetOrAddSubkey(c->Name())});
    }
    return root;
}

}  // namespace qv::reg
