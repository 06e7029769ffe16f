#include "platform/prefix/prefix.h"

#include <system_error>

namespace qv {

// Wine keeps one entry per drive in <prefix>/dosdevices, named "<letter>:" in lower case,
// normally a symbolic link to the drive's folder ("c:" -> ../drive_c, "z:" -> /).
std::filesystem::path Prefix::DriveFolder(char letter) const {
    if (letter >= 'A' && letter <= 'Z') letter = static_cast<char>(letter - 'A' + 'a');
    if (letter < 'a' || letter > 'z') return {};
    std::filesystem::path folder = root_ / "dosdevices" / std::string{letter, ':'};
    std::error_code error;
    if (!std::filesystem::is_directory(folder, error)) return {};
    return folder;
}

}  // namespace qv
