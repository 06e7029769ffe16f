#include "vendor/core/file_verified_memo.h"

namespace {

thread_local CFileVerifiedMemo* t_memo = nullptr;

uint64_t HashText(std::string_view text) {
    // FNV-1a.
    uint64_t hash = 1469598103934665603ull;
    for (char c : text) hash = (hash ^ static_cast<unsigned char>(c)) * 1099511628211ull;
    return hash;
}

}  // namespace

CFileVerifiedMemo::CFileVerifiedMemo() : previous_(t_memo) { t_memo = this; }

CFileVerifiedMemo::~CFileVerifiedMemo() { t_memo = previous_; }

CFileVerifiedMemo* CFileVerifiedMemo::Current() { return t_memo; }

CFileVerifiedMemo::Answers& CFileVerifiedMemo::AnswersFor(const std::string& root, qv::FileSystemView view) {
    if (last_ && last_->view == view && last_->root == root) return last_->answers;
    for (Context& context : contexts_)
        if (context.view == view && context.root == root) {
            last_ = &context;
            return context.answers;
        }
    contexts_.push_back({root, view, {}});
    // The vector may have moved its contexts.
    last_ = &contexts_.back();
    return last_->answers;
}

size_t CFileVerifiedMemo::Answers::Slot(std::string_view text, uint64_t hash) const {
    const size_t mask = slots_.size() - 1;
    for (size_t slot = hash & mask;; slot = (slot + 1) & mask) {
        const Taken taken = slots_[slot];
        if (taken.index == 0) return slot;
        if (taken.tag != Tag(hash)) continue;
        const Answer& a = answers_[taken.index - 1];
        if (a.hash == hash && std::string_view(texts_).substr(a.offset, a.length) == text) return slot;
    }
}

const int* CFileVerifiedMemo::Answers::Find(std::string_view text, uint64_t hash) const {
    if (slots_.empty()) return nullptr;
    const uint32_t taken = slots_[Slot(text, hash)].index;
    return taken == 0 ? nullptr : &answers_[taken - 1].answer;
}

void CFileVerifiedMemo::Answers::Add(std::string_view text, uint64_t hash, int answer) {
    if (!slots_.empty() && slots_[Slot(text, hash)].index != 0) return;  // the first answer stays
    // Offsets are 32-bit: past 4 GiB of texts, answers are simply no longer remembered.
    if (texts_.size() + text.size() > UINT32_MAX || answers_.size() >= UINT32_MAX / 4) return;
    // Kept at most half full, so that probes stay short.
    if ((answers_.size() + 1) * 2 > slots_.size()) {
        slots_.assign(slots_.empty() ? 64 : slots_.size() * 2, Taken{});
        const size_t mask = slots_.size() - 1;
        for (uint32_t i = 0; i < answers_.size(); ++i) {
            size_t slot = answers_[i].hash & mask;
            while (slots_[slot].index != 0) slot = (slot + 1) & mask;
            slots_[slot] = {i + 1, Tag(answers_[i].hash)};
        }
    }
    Answer a;
    a.hash = hash;
    a.offset = static_cast<uint32_t>(texts_.size());
    a.length = static_cast<uint32_t>(text.size());
    a.answer = answer;
    texts_.append(text);
    answers_.push_back(a);
    slots_[Slot(text, hash)] = {static_cast<uint32_t>(answers_.size()), Tag(hash)};
}

const int* CFileVerifiedMemo::Find(const std::string& root, qv::FileSystemView view, std::string_view text) {
    return AnswersFor(root, view).Find(text, HashText(text));
}

void CFileVerifiedMemo::Remember(const std::string& root, qv::FileSystemView view, std::string_view text,
                                 int answer) {
    AnswersFor(root, view).Add(text, HashText(text), answer);
}
