// Removal of a folder with everything in it, safe against symbolic links.
#pragma once

#include <string>

namespace qv {

// Removes the entry `name` of the open folder `parentFd` with everything in it. Never
// follows a symbolic link: a link inside is removed as a link, so nothing outside the
// folder is touched, and when the entry itself is a link only the link goes; working from
// the parent's descriptor, no link above it, planted or swapped in, can lead it elsewhere.
// Folders of another file system mounted inside are left alone. Goes on past entries it
// cannot remove; true when everything is gone.
bool RemoveFolderTreeAt(int parentFd, const std::string& name);

}  // namespace qv
