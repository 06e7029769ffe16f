// The temporary internet file and cookie scanners: they count what a repair clears.
//
// Both work with full paths and leave the process's current directory alone (the UI thread
// shares it). The folders are the profile's Content.IE5 folder under "Local Settings" and
// its "Cookies" folder; a Wine profile has neither, so there the browser cache and
// cookie folders that the profile's shell folders name are used instead.
#include <shlobj.h>

#include <functional>

#include "app/string_table.h"
#include "scan/scan_engine.h"
#include "vendor/core/system32.h"

namespace {

bool IsFolder(const std::string& path) {
    DWORD a = GetFileAttributesA(path.c_str());
    return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}


// Calls `f` with every entry of `folder` matching `pattern` but the dot entries.
void ForEachEntry(const std::string& folder, const char* pattern, const std::function<void(const WIN32_FIND_DATAA&)>& f) {
    WIN32_FIND_DATAA data;
    HANDLE h = FindFirstFileA((folder + "\\" + pattern).c_str(), &data);
    if (h == INVALID_HANDLE_VALUE) return;
    do {
        std::string name = data.cFileName;
        if (name != "." && name != "..") f(data);
    } while (FindNextFileA(h, &data));
    FindClose(h);
}

}  // namespace

int CScanEngine::ScanTempInternetFiles() {
    m_stores.m_aTempInternetFiles.clear();
    std::vector<std::string> bases;
    std::string profile;
    if (CSystem32::GetSpecialFolder(CSIDL_PROFILE, profile) &&
        IsFolder(profile + "Local Settings\\Temporary Internet Files\\Content.IE5")) {
        bases.push_back(profile + "Local Settings\\Temporary Internet Files\\Content.IE5");
    } else {
        std::string cache;
        if (CSystem32::GetSpecialFolder(CSIDL_INTERNET_CACHE, cache))
            for (const char* sub : {"Content.IE5", "IE"})
                if (IsFolder(cache + sub)) bases.push_back(cache + sub);
    }
    if (bases.empty()) return 0;
    const std::string status(StringText(218));
    for (const std::string& base : bases) {
        std::vector<std::string> folders;
        ForEachEntry(base, "*.*", [&](const WIN32_FIND_DATAA& d) {
            if (d.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) folders.push_back(d.cFileName);
        });
        for (const std::string& sub : folders) {
            PostStatus(status + " " + sub);
            ForEachEntry(base + "\\" + sub, "*.*",
                         [&](const WIN32_FIND_DATAA& d) { m_stores.m_aTempInternetFiles.push_back(d.cFileName); });
        }
    }
    return 1;
}

int CScanEngine::ScanCookies() {
    m_stores.m_aCookieFiles.clear();
    std::string profile, folder;
    if (CSystem32::GetSpecialFolder(CSIDL_PROFILE, profile) && IsFolder(profile + "Cookies"))
        folder = profile + "Cookies";
    else if (CSystem32::GetSpecialFolder(CSIDL_COOKIES, folder))
        folder.pop_back();  // without its trailing backslash
    if (folder.empty() || !IsFolder(folder)) return 0;
    ForEachEntry(folder, "*.txt", [&](const WIN32_FIND_DATAA& d) {
        if (!(d.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) m_stores.m_aCookieFiles.push_back(d.cFileName);
    });
    return 1;
}
