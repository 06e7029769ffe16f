#include "scan/skipped_folder_note.h"

#include <cstring>

std::optional<std::string> SkippedFolderNote(const std::string& windows, const qv::FolderPlace& place) {
    switch (place.kind) {
        case qv::FolderPlace::kUnresolvable:
            return "Skipped " + windows + ": its links cannot be resolved (" + std::strerror(place.error) + ").";
        case qv::FolderPlace::kOutside:
            return "Skipped " + windows + ": it leads outside the prefix (to " + place.real.string() + ").";
        case qv::FolderPlace::kMissing:
        case qv::FolderPlace::kInside:
            break;
    }
    return std::nullopt;
}
