// Reading a settings file of another program, with a size cap so that a huge or endless
// file (a link to /dev/zero) cannot stall the caller.
#pragma once

#include <cstddef>
#include <filesystem>
#include <string>

namespace qv {

constexpr size_t kManagerFileLimit = size_t(16) << 20;  // 16 MiB

// Reads `file` into `text`; false with `why` set when it cannot be opened, is not a regular
// file or is larger than `limit`.
bool ReadSmallTextFile(const std::filesystem::path& file, std::string& text, std::string& why,
                       size_t limit = kManagerFileLimit);

}  // namespace qv
