// CVersionFeed: the check for a newer version. Downloads the vendor's small XML feed,
// reads a fixed set of elements from it and copies their texts into the settings store,
// where the home page finds them. It keeps no state of its own: the stored "LastBuildDate"
// is what makes a second check of the same feed change nothing.
#pragma once

#include <string>

class CVersionFeed {
public:
    // Downloads and evaluates the feed at `url`. 0 when the "xml" and "Quorvane" elements
    // are not there (every failed download or parse included), 1 otherwise.
    int CheckFeed(const std::string& url);

    // The body at `url` through WinINet, read up to its first zero byte per piece. False
    // only when no Internet handle can be opened; a request that fails leaves `text` empty.
    bool DownloadText(const std::string& url, std::string& text);

    // Writes the setting `name` of the options key unless it already holds exactly `value`;
    // true when it wrote.
    bool StoreIfChanged(const std::string& name, const std::string& value);
};
