// The answers of CRegistryObject::FileVerified remembered for the length of a scan.
//
// The same file is named by many entries (one DLL by thousands of classes, one program by
// its application path, its shared DLL count and its uninstall entry); while a
// CFileVerifiedMemo lives on a thread, FileVerified judges each text once per prefix and
// file system view there and gives the same answer again after that. Only the creating
// thread sees it, and a new scan starts with an empty one.
#pragma once

#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "platform/win32/file_system_view.h"

class CFileVerifiedMemo {
public:
    CFileVerifiedMemo();
    ~CFileVerifiedMemo();
    CFileVerifiedMemo(const CFileVerifiedMemo&) = delete;
    CFileVerifiedMemo& operator=(const CFileVerifiedMemo&) = delete;

    // The memo of the calling thread; null when none is alive.
    static CFileVerifiedMemo* Current();

    // The remembered answer for `text` in the prefix at `root` and `view`; null when none.
    const int* Find(const std::string& root, qv::FileSystemView view, std::string_view text);
    void Remember(const std::string& root, qv::FileSystemView view, std::string_view text, int answer);

private:
    struct Hash {
        using is_transparent = void;
        size_t operator()(std::string_view text) const { return std::hash<std::string_view>()(text); }
    };
    using Answers = std::unordered_map<std::string, int, Hash, std::equal_to<>>;
    struct Context {
        std::string root;
        qv::FileSystemView view;
        Answers answers;
    };
    Answers& AnswersFor(const std::string& root, qv::FileSystemView view);

    std::vector<Context> contexts_;
    CFileVerifiedMemo* previous_;
};
