// Removal of a folder with everything in it, safe against symbolic links.
#pragma once

#include <filesystem>

namespace qv {

// Removes `folder` and its contents. Never follows a symbolic link: a link inside is
// removed as a link, so nothing outside the folder is touched, and when `folder` itself is
// a link only the link goes. Folders of another file system mounted inside are left alone.
// Goes on past entries it cannot remove; true when everything is gone.
bool RemoveFolderTree(const std::filesystem::path& folder);

}  // namespace qv
