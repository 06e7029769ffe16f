// Reading and writing Wine's registry files (system.reg, user.reg, userdef.reg).
// The reader accepts what Wine's loader accepts and reports what Wine would report; the
// writer produces the bytes Wine itself would save for the same tree.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/registry/reg_key.h"

namespace qv::reg {

enum class Branch { Machine, User, UserDefault };

// "REGISTRY\\Machine" etc. as written on a file's second line (unescaped form).
std::u16string BranchPath(Branch b);

struct HiveLoadReport {
    bool rejected = false;   // the whole file was refused (bad header, architecture)
    bool lossy = false;      // something in the file was dropped or changed in meaning
    std::vector<std::string> messages;  // "user.reg:39: Unrecognized input 'garbage line'"
};

struct ParsedHive {
    std::shared_ptr<Key> root;
    std::string arch;  // value of the "#arch=" option, empty when the file has none
    HiveLoadReport report;
};

// Resolves a link key found while walking a section path: returns the key the link points
// at (created if needed) or null when it cannot be resolved.
using LinkResolver = std::function<Key*(Key* link)>;

// The resolver a loader of one branch's file uses: a link whose target lies in the same
// branch leads there (keys on the way are created), never through another link; any other
// target cannot be resolved while loading.
LinkResolver SameBranchLinkResolver(Branch branch);

// Parses a whole file. `fileName` only labels messages; `now` stamps keys without a time.
ParsedHive ParseWineHive(std::string_view text, const std::string& fileName, int64_t now,
                         const LinkResolver& resolveLink = {});

// The same, reading an open file from its current position in pieces of `pieceBytes`, so
// that only the tree is held in memory. More than `maxBytes`, or a read error, rejects the
// file with `tooLarge` or the error as the message. The default piece is small enough to
// stay in the processor's cache between the read and the parse, and large enough that the
// reads cost next to nothing.
inline constexpr size_t kHiveReadPieceBytes = size_t(128) << 10;
ParsedHive ParseWineHiveFile(int fd, uint64_t maxBytes, const std::string& tooLarge, const std::string& fileName,
                             int64_t now, const LinkResolver& resolveLink = {},
                             size_t pieceBytes = kHiveReadPieceBytes);

// Writes a tree in Wine's layout.
std::string SerializeWineHive(const Key& root, Branch branch, const std::string& arch);
// The same, passed to `sink` in pieces of about a megabyte, so that a large tree is saved
// without its whole text in memory.
void WriteWineHive(const Key& root, Branch branch, const std::string& arch,
                   const std::function<void(std::string_view)>& sink);

// Escapes UTF-16 text as Wine writes it; `delims` are the two characters escaped besides
// the backslash ("[]" for key names, "\"\"" for strings). Returns the characters written.
size_t AppendWineEscaped(std::string& out, std::u16string_view s, const char delims[2]);

// Appends one value line (with its line end) as Wine writes it.
void AppendWineValue(std::string& out, const Value& v);

}  // namespace qv::reg
