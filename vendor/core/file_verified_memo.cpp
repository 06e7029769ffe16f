#include "vendor/core/file_verified_memo.h"

namespace {

thread_local CFileVerifiedMemo* t_memo = nullptr;

}  // namespace

CFileVerifiedMemo::CFileVerifiedMemo() : previous_(t_memo) { t_memo = this; }

CFileVerifiedMemo::~CFileVerifiedMemo() { t_memo = previous_; }

CFileVerifiedMemo* CFileVerifiedMemo::Current() { return t_memo; }

CFileVerifiedMemo::Answers& CFileVerifiedMemo::AnswersFor(const std::string& root, qv::FileSystemView view) {
    for (Context& context : contexts_)
        if (context.view == view && context.root == root) return context.answers;
    contexts_.push_back({root, view, {}});
    return contexts_.back().answers;
}

const int* CFileVerifiedMemo::Find(const std::string& root, qv::FileSystemView view, std::string_view text) {
    Answers& answers = AnswersFor(root, view);
    auto it = answers.find(text);
    return it == answers.end() ? nullptr : &it->second;
}

void CFileVerifiedMemo::Remember(const std::string& root, qv::FileSystemView view, std::string_view text,
                                 int answer) {
    AnswersFor(root, view).emplace(std::string(text), answer);
}
