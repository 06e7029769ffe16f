// Windows paths of a Wine prefix mapped to Unix paths and back. Each drive letter is the
// folder <prefix>/dosdevices/<letter>: (normally a link: c: -> ../drive_c, z: -> /).
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "platform/prefix/prefix.h"
#include "platform/prefix/windows_path.h"

namespace qv {

// The Unix path of a Windows path (see ResolveWindowsPath for the forms accepted). Each name
// is matched against the disk as FindNameIgnoringCase does (in any case, or by its short
// name); from the first name that matches nothing on, the remaining names are appended as
// given, so a path to a missing file still maps. Empty when the path names no drive or its drive is not mapped.
std::optional<std::filesystem::path> WindowsToUnixPath(const Prefix& prefix,
                                                       std::string_view windowsPath);
// How the names of a path were matched.
struct UnixPathMatch {
    // A name was appended as given because its folder could not be read: the path may then
    // name an entry of another spelling.
    bool unlisted = false;
    // A name is surely not there (its folder was read, or is missing), so the path names
    // nothing; worked out only while a scan's file lookup cache is alive.
    bool absent = false;
    // With `absent`: the missing name is the last one, so the path's folder exists.
    bool folderExists = false;
    // The last name was found in a listing of its folder that a scan's cache holds, and the
    // listing gave it this type (DT_REG, DT_DIR, ...); DT_UNKNOWN (0) otherwise.
    unsigned char listedType = 0;
};
std::optional<std::filesystem::path> WindowsToUnixPath(const Prefix& prefix,
                                                       const WindowsPath& windowsPath,
                                                       UnixPathMatch* match = nullptr);

// In a scan (with a file lookup cache on the thread): how WindowsToUnixPath would match
// `windowsPath`, worked out from the cache's listings alone, without making the Unix path.
// Empty when that takes more than the listings (the path's folder could not be listed, or
// a name on the way is missing from a folder that could not be read), or there is no
// cache or the drive is not mapped.
std::optional<UnixPathMatch> ProbeListedPath(const Prefix& prefix, const WindowsPath& windowsPath);

// The Windows path of a Unix path: the drive whose folder holds it, the most specific one
// when several do (so C: wins over Z:, which maps the whole file system). A path outside
// every drive is given in Wine's "\\?\unix\..." form.
std::string UnixToWindowsPath(const Prefix& prefix, const std::filesystem::path& unixPath);

// The name of the entry of `folder` that `name` stands for, as Wine finds it: the entry of
// that exact spelling, else one that equals it without regard to case, else the entry
// whose short (8.3) name it is (see short_file_name.h). Empty when there is none or the
// folder cannot be read.
std::optional<std::string> FindNameIgnoringCase(const std::filesystem::path& folder,
                                                std::string_view name);

}  // namespace qv
