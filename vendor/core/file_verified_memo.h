// The answers of CRegistryObject::FileVerified remembered for the length of a scan.
//
// The same file is named by many entries (one DLL by thousands of classes, one program by
// its application path, its shared DLL count and its uninstall entry); while a
// CFileVerifiedMemo lives on a thread, FileVerified judges each text once per prefix and
// file system view there and gives the same answer again after that. Only the creating
// thread sees it, and a new scan starts with an empty one.
//
// The texts are kept one after another in one growing buffer, and found through an
// open-addressed table of their hashes: a look-up allocates nothing, a new answer adds its
// text to the buffer and grows the table now and then.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
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
    struct Answer {
        uint64_t hash = 0;
        uint32_t offset = 0;  // where the text starts in `texts`
        uint32_t length = 0;
        int answer = 0;
    };
    class Answers {
    public:
        const int* Find(std::string_view text, uint64_t hash) const;
        void Add(std::string_view text, uint64_t hash, int answer);

    private:
        size_t Slot(std::string_view text, uint64_t hash) const;
        // Answer index plus one (0: free) and the top half of its hash, so that a probe
        // reads other answers only when the hashes agree.
        struct Taken {
            uint32_t index = 0;
            uint32_t tag = 0;
        };
        static uint32_t Tag(uint64_t hash) { return static_cast<uint32_t>(hash >> 32); }
        std::vector<Taken> slots_;
        std::vector<Answer> answers_;
        std::string texts_;
    };
    struct Context {
        std::string root;
        qv::FileSystemView view;
        Answers answers;
    };
    Answers& AnswersFor(const std::string& root, qv::FileSystemView view);

    std::vector<Context> contexts_;
    Context* last_ = nullptr;  // the context asked for last; scans ask for one at a time
    CFileVerifiedMemo* previous_;
};
