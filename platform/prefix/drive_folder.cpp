#include "platform/prefix/prefix.h"

#include "platform/prefix/file_lookup_cache.h"

namespace qv {

// Wine keeps one entry per drive in <prefix>/dosdevices, named "<letter>:" in lower case,
// normally a symbolic link to the drive's folder ("c:" -> ../drive_c, "z:" -> /).
std::filesystem::path Prefix::FindDriveFolder(char letter) const {
    std::filesystem::path folder = root_ / "dosdevices" / std::string{letter, ':'};
    if (!StatPath(folder).IsFolder()) return {};
    return folder;
}

std::filesystem::path Prefix::DriveFolder(char letter) const {
    if (letter >= 'A' && letter <= 'Z') letter = static_cast<char>(letter - 'A' + 'a');
    if (letter < 'a' || letter > 'z') return {};
    auto find = [this, letter] { return FindDriveFolder(letter); };
    if (FileLookupCache* cache = CurrentFileLookupCache()) return cache->DriveFolder(root_, letter, find);
    return find();
}

bool Prefix::HasDriveFolder(char letter) const {
    if (letter >= 'A' && letter <= 'Z') letter = static_cast<char>(letter - 'A' + 'a');
    if (letter < 'a' || letter > 'z') return false;
    auto find = [this, letter] { return FindDriveFolder(letter); };
    if (FileLookupCache* cache = CurrentFileLookupCache()) return !cache->DriveFolder(root_, letter, find).empty();
    return !find().empty();
}

}  // namespace qv
