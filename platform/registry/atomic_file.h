// Replacing a file so that a crash at any moment leaves either the old or the new content.
#pragma once

#include <cstddef>
#include <filesystem>
#include <functional>
#include <stdexcept>
#include <string_view>

namespace qv {

struct FileWriteError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// Writes `content` to a temporary file beside `target`, flushes it to disk, renames it over
// `target` and flushes the folder. A symbolic link is replaced at the file it points to.
// The file keeps its permission bits. Throws FileWriteError with a message for the user.
void WriteFileAtomically(const std::filesystem::path& target, std::string_view content);

// Test hook: called before each chunk is written with the number of bytes written so far;
// returning false makes the write fail there, as a full disk would.
void SetWriteFaultHook(std::function<bool(size_t written)> hook);

}  // namespace qv
