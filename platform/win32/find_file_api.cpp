// FindFirstFileA / FindNextFileA / FindClose over the active prefix. A search lists its
// folder once, when it starts: entries deleted meanwhile are passed over, entries created
// meanwhile are not seen. "." and ".." come first whenever the pattern matches them, in
// every folder, as the program's folder walks expect; the other entries follow in
// case-insensitive name order. As in Wine, a name is also found by its short (8.3) name,
// a pattern matches an entry whose long or short name it fits, and each entry carries its
// short name in cAlternateFileName (empty when the long name is a valid 8.3 name).
#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include <windows.h>

#include "platform/prefix/case_insensitive_name.h"
#include "platform/prefix/drive_map.h"
#include "platform/prefix/file_lookup_cache.h"
#include "platform/prefix/short_file_name.h"
#include "platform/win32/api_path.h"
#include "platform/win32/file_information.h"
#include "platform/win32/find_file_probe.h"
#include "platform/win32/wildcard_match.h"

namespace fs = std::filesystem;

namespace {

struct FindSearch {
    std::mutex mutex;
    fs::path folder;
    std::vector<std::string> names;
    size_t next = 0;
};

struct SearchTable {
    std::mutex mutex;
    std::map<HANDLE, std::shared_ptr<FindSearch>> searches;
    uintptr_t lastId = 0;
};

SearchTable& Searches() {
    static SearchTable table;
    return table;
}

std::shared_ptr<FindSearch> LookUp(HANDLE handle) {
    SearchTable& table = Searches();
    std::lock_guard lock(table.mutex);
    auto it = table.searches.find(handle);
    return it == table.searches.end() ? nullptr : it->second;
}

HANDLE Register(std::shared_ptr<FindSearch> search) {
    SearchTable& table = Searches();
    std::lock_guard lock(table.mutex);
    // Handles are small numbers with the low bits clear, never null or INVALID_HANDLE_VALUE.
    HANDLE handle = reinterpret_cast<HANDLE>((++table.lastId) << 4);
    table.searches.emplace(handle, std::move(search));
    return handle;
}

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

struct PatternParts {
    std::string folder;
    std::string name;
};

// Splits "C:\dir\*.txt" into the folder part ("C:\dir\") and the name part ("*.txt").
PatternParts SplitPattern(const std::string& text) {
    size_t last = std::string::npos;
    for (size_t i = 0; i < text.size(); ++i)
        if (IsSeparator(text[i])) last = i;
    if (last != std::string::npos) return {text.substr(0, last + 1), text.substr(last + 1)};
    if (text.size() >= 2 && text[1] == ':') return {text.substr(0, 2), text.substr(2)};
    return {std::string(1, '.'), text};
}

// Windows ignores blanks and dots at the end of a name it looks up.
std::string TrimName(std::string name) {
    if (name == "." || name == "..") return name;
    while (!name.empty() && (name.back() == ' ' || name.back() == '.')) name.pop_back();
    return name;
}

bool FitsFindData(const std::string& name) { return name.size() <= MAX_PATH - 1; }

std::vector<std::string> ListMatches(const fs::path& folder, const std::string& pattern) {
    std::vector<std::string> names;
    if (DIR* dir = ::opendir(folder.c_str())) {
        while (dirent* entry = ::readdir(dir)) {
            std::string name = entry->d_name;
            if (name == "." || name == "..") continue;
            if (!FitsFindData(name)) continue;
            if (qv::MatchesWildcard(name, pattern)) {
                names.push_back(std::move(name));
                continue;
            }
            std::string shortName = qv::ShortNameOf(name);
            if (!shortName.empty() && qv::MatchesWildcard(shortName, pattern)) names.push_back(std::move(name));
        }
        ::closedir(dir);
    }
    std::sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) {
        qv::NameLessIgnoringCase less;
        if (less(a, b)) return true;
        if (less(b, a)) return false;
        return a < b;
    });
    std::vector<std::string> dots;
    for (const char* dot : {".", ".."})
        if (qv::MatchesWildcard(dot, pattern)) dots.emplace_back(dot);
    names.insert(names.begin(), dots.begin(), dots.end());
    return names;
}

// Fills `data` with the next entry that still exists; false when none is left.
bool FillNext(FindSearch& search, WIN32_FIND_DATAA& data) {
    while (search.next < search.names.size()) {
        const std::string& name = search.names[search.next++];
        std::optional<qv::FileInformation> info = qv::QueryFileInformation(search.folder / name);
        if (!info) continue;
        std::memset(&data, 0, sizeof data);
        data.dwFileAttributes = info->attributes;
        data.ftCreationTime = info->creationTime;
        data.ftLastAccessTime = info->lastAccessTime;
        data.ftLastWriteTime = info->lastWriteTime;
        data.nFileSizeHigh = static_cast<DWORD>(info->size >> 32);
        data.nFileSizeLow = static_cast<DWORD>(info->size & 0xFFFFFFFFu);
        std::memcpy(data.cFileName, name.data(), name.size());
        std::string shortName = qv::ShortNameOf(name);
        if (shortName.size() < sizeof data.cAlternateFileName)
            std::memcpy(data.cAlternateFileName, shortName.data(), shortName.size());
        return true;
    }
    return false;
}

}  // namespace

HANDLE FindFirstFileA(LPCSTR lpFileName, LPWIN32_FIND_DATAA lpFindFileData) {
    if (lpFileName == nullptr || lpFindFileData == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
    }
    PatternParts parts = SplitPattern(lpFileName);
    const std::string& folderText = parts.folder;
    const std::string& pattern = parts.name;
    if (qv::HasWildcards(folderText)) {
        SetLastError(ERROR_INVALID_NAME);
        return INVALID_HANDLE_VALUE;
    }
    if (pattern.empty()) {
        // "C:\dir\" asks for no name at all; Windows finds nothing.
        SetLastError(ERROR_FILE_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    DWORD error = ERROR_SUCCESS;
    std::optional<qv::ApiPath> folder = qv::MapApiPath(folderText.c_str(), error);
    if (!folder) {
        SetLastError(error);
        return INVALID_HANDLE_VALUE;
    }
    if (!qv::StatPath(folder->unix).IsFolder()) {
        SetLastError(ERROR_PATH_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }

    auto search = std::make_shared<FindSearch>();
    search->folder = folder->unix;
    if (qv::HasWildcards(pattern)) {
        search->names = ListMatches(folder->unix, pattern);
    } else {
        std::string name = TrimName(pattern);
        if (name == "." || name == "..") {
            search->names.push_back(name);
        } else if (!name.empty()) {
            if (auto onDisk = qv::FindNameIgnoringCase(folder->unix, name); onDisk && FitsFindData(*onDisk))
                search->names.push_back(*onDisk);
        }
    }
    if (!FillNext(*search, *lpFindFileData)) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    SetLastError(ERROR_SUCCESS);
    return Register(std::move(search));
}

BOOL FindNextFileA(HANDLE hFindFile, LPWIN32_FIND_DATAA lpFindFileData) {
    std::shared_ptr<FindSearch> search = LookUp(hFindFile);
    if (!search) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (lpFindFileData == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    std::lock_guard lock(search->mutex);
    if (!FillNext(*search, *lpFindFileData)) {
        SetLastError(ERROR_NO_MORE_FILES);
        return FALSE;
    }
    return TRUE;
}

BOOL FindClose(HANDLE hFindFile) {
    SearchTable& table = Searches();
    std::lock_guard lock(table.mutex);
    if (table.searches.erase(hFindFile) == 0) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    return TRUE;
}

namespace qv {

bool FindFirstFileFinds(const std::string& pattern) {
    PatternParts parts = SplitPattern(pattern);
    if (!CurrentFileLookupCache() || HasWildcards(parts.name)) {
        WIN32_FIND_DATAA data;
        HANDLE search = FindFirstFileA(pattern.c_str(), &data);
        if (search == INVALID_HANDLE_VALUE) return false;
        FindClose(search);
        return true;
    }
    // The steps of FindFirstFileA for one name, in the same order.
    if (HasWildcards(parts.folder) || parts.name.empty()) return false;
    // A name that the cached listings show is not there (or not in a folder that is there)
    // is not found; that takes no Unix path.
    if (std::string_view name = parts.name; name.back() != '.' && name.back() != ' ')
        if (std::optional<UnixPathMatch> probe = ProbeApiPath(parts.folder.c_str(), name); probe && probe->absent)
            return false;
    DWORD error = ERROR_SUCCESS;
    std::optional<ApiPath> folder = MapApiPath(parts.folder.c_str(), error);
    if (!folder || !StatPath(folder->unix).IsFolder()) return false;
    std::string name = TrimName(std::move(parts.name));
    if (name == "." || name == "..") return QueryFileInformation(folder->unix / name).has_value();
    if (name.empty()) return false;
    std::optional<std::string> onDisk = FindNameIgnoringCase(folder->unix, name);
    return onDisk && FitsFindData(*onDisk);
}

}  // namespace qv
