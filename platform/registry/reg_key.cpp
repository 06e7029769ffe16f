#include "platform/registry/reg_key.h"

#include <algorithm>
#include <chrono>

#include "platform/registry/reg_text.h"

namespace qv::reg {

int64_t NowAsFileTime() {
    using namespace std::chrono;
    auto ns = duration_cast<nanoseconds>(system_clock::now().time_since_epoch()).count();
    return kTicks1601To1970 + ns / 100;
}

Key::~Key() {
    // Tear deep trees down iteratively so that keys nested thousands deep cannot exhaust
    // the stack through recursive destructors.
    std::vector<std::shared_ptr<Key>> pending;
    for (auto& k : subkeys_) {
        k->parent_ = nullptr;
        pending.push_back(std::move(k));
    }
    subkeys_.clear();
    while (!pending.empty()) {
        std::shared_ptr<Key> k = std::move(pending.back());
        pending.pop_back();
        for (auto& c : k->subkeys_) {
            c->parent_ = nullptr;
            pending.push_back(std::move(c));
        }
        k->subkeys_.clear();
    }
}

size_t Key::LowerBoundSubkey(std::u16string_view name) const {
    auto it = std::lower_bound(subkeys_.begin(), subkeys_.end(), name,
                               [](const std::shared_ptr<Key>& k, std::u16string_view n) {
                                   return CompareNames(k->name_, n) < 0;
                               });
    return static_cast<size_t>(it - subkeys_.begin());
}

size_t Key::LowerBoundValue(std::u16string_view name) const {
    auto it = std::lower_bound(values_.begin(), values_.end(), name,
                               [](const Value& v, std::u16string_view n) {
                                   return CompareNames(v.name, n) < 0;
                               });
    return static_cast<size_t>(it - values_.begin());
}

Key* Key::FindSubkey(std::u16string_view name) const {
    size_t i = LowerBoundSubkey(name);
    if (i < subkeys_.size() && CompareNames(subkeys_[i]->name_, name) == 0) return subkeys_[i].get();
    return nullptr;
}

Key* Key::GetOrAddSubkey(std::u16string_view name, bool* created) {
    size_t i = LowerBoundSubkey(name);
    if (i < subkeys_.size() && CompareNames(subkeys_[i]->name_, name) == 0) {
        if (created) *created = false;
        return subkeys_[i].get();
    }
    auto k = std::make_shared<Key>(std::u16string(name));
    k->parent_ = this;
    k->isVolatile = isVolatile;
    Key* raw = k.get();
    subkeys_.insert(subkeys_.begin() + static_cast<std::ptrdiff_t>(i), std::move(k));
    if (created) *created = true;
    return raw;
}

void Key::MarkDeletedTree() {
    std::vector<Key*> pending{this};
    while (!pending.empty()) {
        Key* k = pending.back();
        pending.pop_back();
        k->deleted_ = true;
        for (auto& c : k->subkeys_) pending.push_back(c.get());
    }
}

bool Key::RemoveSubkey(std::u16string_view name) {
    size_t i = LowerBoundSubkey(name);
    if (i >= subkeys_.size() || CompareNames(subkeys_[i]->name_, name) != 0) return false;
    std::shared_ptr<Key> k = subkeys_[i];
    subkeys_.erase(subkeys_.begin() + static_cast<std::ptrdiff_t>(i));
    k->MarkDeletedTree();
    k->parent_ = nullptr;
    return true;
}

const Value* Key::FindValue(std::u16string_view name) const {
    size_t i = LowerBoundValue(name);
    if (i < values_.size() && CompareNames(values_[i].name, name) == 0) return &values_[i];
    return nullptr;
}

void Key::SetValue(std::u16string_view name, uint32_t type, std::vector<uint8_t> data) {
    size_t i = LowerBoundValue(name);
    if (i < values_.size() && CompareNames(values_[i].name, name) == 0) {
        values_[i].type = type;
        values_[i].data = std::move(data);
        return;
    }
    values_.insert(values_.begin() + static_cast<std::ptrdiff_t>(i),
                   Value{std::u16string(name), type, std::move(data)});
}

bool Key::RemoveValue(std::u16string_view name) {
    size_t i = LowerBoundValue(name);
    if (i >= values_.size() || CompareNames(values_[i].name, name) != 0) return false;
    values_.erase(values_.begin() + static_cast<std::ptrdiff_t>(i));
    return true;
}

void Key::UpdateTimeUpward(int64_t t) {
    for (Key* k = this; k && !k->modified; k = k->parent_) k->modified = t;
}

std::u16string Key::PathFrom(const Key* base) const {
    std::vector<const Key*> chain;
    for (const Key* k = this; k && k != base; k = k->parent_) chain.push_back(k);
    std::u16string out;
    for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
        if (!out.empty()) out += u'\\';
        out += (*it)->name_;
    }
    return out;
}

size_t Key::Depth() const {
    size_t d = 0;
    for (const Key* k = parent_; k; k = k->parent_) ++d;
    return d;
}

std::shared_ptr<Key> CloneTree(const Key& key) {
    auto root = std::make_shared<Key>(key.Name());
    std::vector<std::pair<const Key*, Key*>> pending{{&key, root.get()}};
    while (!pending.empty()) {
        auto [src, dst] = pending.back();
        pending.pop_back();
        dst->modified = src->modified;
        dst->keyClass = src->keyClass;
        dst->isLink = src->isLink;
        dst->isVolatile = src->isVolatile;
        for (const Value& v : src->Values()) dst->SetValue(v.name, v.type, v.data);
        for (const auto& c : src->Subkeys()) pending.push_back({c.get(), dst->GetOrAddSubkey(c->Name())});
    }
    return root;
}

}  // namespace qv::reg
