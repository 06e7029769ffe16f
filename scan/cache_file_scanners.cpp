// The temporary internet file and cookie scanners: they count what a repair clears.
//
// Which folders and which files count is decided in cached_file_set, which the repair uses
// too; the scanners keep the bare names in the stores the results page counts, and beside
// them the records by which the repair finds the same files again. Folders that were
// skipped (a link out of the prefix, one of the user's own folders) are shown in the
// status line and kept with the stores. Both work with full paths and descriptors and
// leave the process's current directory alone (the UI thread shares it).
#include "app/string_table.h"
#include "scan/cached_file_set.h"
#include "scan/scan_engine.h"

int CScanEngine::ScanTempInternetFiles() {
    const std::string status(StringText(218));
    CachedFileListing listing = ListTempInternetFiles([&](const std::string& sub) { PostStatus(status + " " + sub); });
    m_stores.m_aTempInternetFiles = std::move(listing.names);
    m_stores.m_aTempInternetFileRecords = std::move(listing.records);
    m_stores.m_aTempInternetFolderNotes = std::move(listing.notes);
    for (const std::string& note : m_stores.m_aTempInternetFolderNotes) PostStatus(note);
    return listing.found ? 1 : 0;
}

int CScanEngine::ScanCookies() {
    CachedFileListing listing = ListCookieFiles();
    m_stores.m_aCookieFiles = std::move(listing.names);
    m_stores.m_aCookieFileRecords = std::move(listing.records);
    m_stores.m_aCookieFolderNotes = std::move(listing.notes);
    for (const std::string& note : m_stores.m_aCookieFolderNotes) PostStatus(note);
    return listing.found ? 1 : 0;
}
