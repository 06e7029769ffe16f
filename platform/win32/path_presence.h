// Whether a path names something, and whether that is a folder: the part of
// GetFileAttributesA that existence checks use.
#pragma once

#include <windows.h>

namespace qv {

// INVALID_FILE_ATTRIBUTES with the same last error as GetFileAttributesA when the path names
// nothing or cannot be looked at; otherwise attributes in which FILE_ATTRIBUTE_DIRECTORY is
// exactly as GetFileAttributesA would have it (the other bits may be left out). A name that
// a scan's cached listing shows as a plain file or a real folder is answered from the
// listing, without reading its status.
DWORD PresenceAttributes(LPCSTR path);

}  // namespace qv
