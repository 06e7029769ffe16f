#include "platform/prefix/small_text_file.h"

#include <fstream>

namespace qv {

bool ReadSmallTextFile(const std::filesystem::path& file, std::string& text, std::string& why, size_t limit) {
    std::error_code ec;
    if (!std::filesystem::is_regular_file(file, ec)) {
        why = "not a regular file";
        return false;
    }
    std::ifstream in(file, std::ios::binary);
    if (!in) {
        why = "cannot be opened";
        return false;
    }
    text.clear();
    char buf[65536];
    // Read in pieces up to one byte past the cap: the size on disk may change meanwhile.
    while (in && text.size() <= limit) {
        in.read(buf, sizeof buf);
        text.append(buf, static_cast<size_t>(in.gcount()));
    }
    if (in.bad()) {
        why = "cannot be read";
        return false;
    }
    if (text.size() > limit) {
        why = "larger than " + std::to_string(limit >> 20) + " MiB";
        text.clear();
        return false;
    }
    return true;
}

}  // namespace qv
