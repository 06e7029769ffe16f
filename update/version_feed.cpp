#include "update/version_feed.h"

#include <windows.h>
#include <shellapi.h>
#include <wininet.h>

#include <string_view>

#include "app/settings.h"
#include "update/xml_document.h"
#include "vendor/core/system32.h"

namespace {

// The agent name the feed server sees.
constexpr char kAgentName[] = "Vovediv AVE";

// The elements read after "LastBuildDate", in the only order in which they are found.
constexpr const char* kFeedValues[] = {settings::kVersion, settings::kBuild, settings::kUpgradeURL,
                                       settings::kSpecialOffer, settings::kSpecialOfferURL};

// Addresses from the feed end up in the desktop's opener; only web addresses are kept, so a
// feed can never make the program open a file, a command or another scheme.
bool IsAddressSetting(std::string_view name) {
    return name == settings::kUpgradeURL || name == settings::kSpecialOfferURL;
}

}  // namespace

bool CVersionFeed::DownloadText(const std::string& url, std::string& text) {
    text.clear();
    HINTERNET internet = InternetOpenA(kAgentName, INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0);
    if (internet == nullptr) return false;
    HINTERNET request = InternetOpenUrlA(internet, url.c_str(), nullptr, 0, 0, 0);
    if (request == nullptr) {
        InternetCloseHandle(internet);
        return true;
    }
    char buffer[1024];
    DWORD read = 0;
    while (InternetReadFile(request, buffer, sizeof buffer - 1, &read) && read > 0) {
        // Each piece is taken as a zero-terminated string: a zero byte ends it.
        buffer[read] = '\0';
        text += buffer;
    }
    InternetCloseHandle(request);
    InternetCloseHandle(internet);
    return true;
}

bool CVersionFeed::StoreIfChanged(const std::string& name, const std::string& value) {
    std::string stored;
    if (CSystem32::GetRegistryValue(settings::kOptionsKey, name, stored, HKEY_LOCAL_MACHINE) &&
        stored == value)
        return false;
    CSystem32::SetRegistryValue(settings::kOptionsKey, name, value, HKEY_LOCAL_MACHINE);
    return true;
}

int CVersionFeed::CheckFeed(const std::string& url) {
    std::string text;
    DownloadText(url, text);

    CXmlDocument document;
    document.ParseText(std::move(text));
    document.ResetPosition();
    if (!document.FindNextElement("xml")) return 0;
    document.EnterElement();
    if (!document.FindNextElement("Quorvane")) return 0;
    document.EnterElement();

    std::string date = document.ReadNextElementText(settings::kLastBuildDate);
    if (!date.empty() && StoreIfChanged(settings::kLastBuildDate, date)) {
        for (const char* name : kFeedValues) {
            std::string value = document.ReadNextElementText(name);
            if (value.empty()) continue;
            if (IsAddressSetting(name) && !qv::IsWebAddress(value)) continue;
            StoreIfChanged(name, value);
        }
    }
    document.LeaveElement();
    document.LeaveElement();
    return 1;
}
