#include "pages/home_page_model.h"

#include <shellapi.h>
#include <windows.h>

#include <cctype>
#include <climits>
#include <mutex>
#include <utility>

#include "app/settings.h"
#include "app/string_table.h"
#include "app/version_text.h"
#include "shell/start_up_work.h"
#include "update/version_feed.h"
#include "vendor/core/system32.h"

namespace {

std::optional<std::string> ReadText(const char* name) {
    std::string value;
    if (!CSystem32::GetRegistryValue(settings::kOptionsKey, name, value, HKEY_LOCAL_MACHINE)) return std::nullopt;
    return value;
}

// `pattern` with its first "xxx" replaced by `value`.
std::string Fill(std::string_view pattern, const std::string& value) {
    std::string text(pattern);
    size_t at = text.find("xxx");
    if (at != std::string::npos) text.replace(at, 3, value);
    return text;
}

bool OpenStoredAddress(const char* name) {
    std::optional<std::string> address = ReadText(name);
    // The address comes from the network: only a web address may reach the opener.
    return address && qv::IsWebAddress(*address) && qv::OpenWebAddress(*address);
}

struct FeedAddressSlot {
    std::mutex mutex;
    std::string address{StringText(167)};
};

FeedAddressSlot& AddressSlot() {
    static FeedAddressSlot slot;
    return slot;
}

}  // namespace

long CHomePageModel::LeadingNumber(const std::string& text) {
    size_t at = 0;
    while (at < text.size() && std::isspace(static_cast<unsigned char>(text[at]))) ++at;
    bool negative = false;
    if (at < text.size() && (text[at] == '+' || text[at] == '-')) negative = text[at++] == '-';
    long value = 0;
    for (; at < text.size() && std::isdigit(static_cast<unsigned char>(text[at])); ++at) {
        int digit = text[at] - '0';
        if (value > (LONG_MAX - digit) / 10) return negative ? LONG_MIN : LONG_MAX;
        value = value * 10 + digit;
    }
    return negative ? -value : value;
}

std::string CHomePageModel::UpdateNotice(const std::optional<std::string>& version,
                                         const std::optional<std::string>& build) {
    if (!build) return "";
    const std::string storedVersion = version.value_or("");
    const long ownVersion = LeadingNumber(std::string(StringText(166)));
    const long ownBuild = LeadingNumber(std::string(StringText(165)));
    if (LeadingNumber(storedVersion) > ownVersion) return Fill(StringText(163), storedVersion);
    if (LeadingNumber(*build) > ownBuild) return Fill(StringText(164), *build);
    return "";
}

std::string CHomePageModel::LastScanLine(const std::optional<std::string>& lastScan) {
    if (!lastScan) return std::string(StringText(150));
    return std::string(StringText(115)) + *lastScan;
}

std::string CHomePageModel::VersionLine() {
    return std::string(StringText(153)) + VersionText();
}

HomeStatus CHomePageModel::RefreshStatus() const {
    HomeStatus status;
    status.lastScanLine = LastScanLine(ReadText(settings::kLastScan));
    status.versionLine = VersionLine();
    status.offerCaption = std::string(StringText(154));
    status.offerText = ReadText(StringText(219).data()).value_or("");
    std::optional<std::string> offerAddress = ReadText(StringText(220).data());
    status.offerIsLink = offerAddress && qv::IsWebAddress(*offerAddress);
    status.updateNotice = UpdateNotice(ReadText(settings::kVersion), ReadText(settings::kBuild));
    return status;
}

std::string CHomePageModel::RecordScanStart() const {
    // The line keeps its caption, so that it reads the same as when the page opened.
    return LastScanLine(RecordLastScanNow());
}

bool CHomePageModel::OpenUpgradeAddress() const {
    return OpenStoredAddress(StringText(168).data());
}

bool CHomePageModel::OpenOfferAddress() const {
    return OpenStoredAddress(StringText(220).data());
}

// ---- update check --------------------------------------------------------------------------

bool CHomeUpdateCheck::IsWanted() {
    int checkUpdate = 0;
    return CSystem32::GetRegistryValue(settings::kOptionsKey, settings::kCheckUpdate, checkUpdate,
                                       HKEY_LOCAL_MACHINE) &&
           checkUpdate != 0;
}

bool CHomeUpdateCheck::Start(const std::string& address, std::function<void()> done) {
    if (m_worker.joinable() || !IsWanted()) return false;
    m_worker = std::thread([address, done = std::move(done)] {
        // The result is not needed: the page reads what the check stored.
        CVersionFeed().CheckFeed(address);
        if (done) done();
    });
    return true;
}

void CHomeUpdateCheck::Wait() {
    if (m_worker.joinable()) m_worker.join();
}

std::string HomeFeedAddress() {
    FeedAddressSlot& slot = AddressSlot();
    std::lock_guard lock(slot.mutex);
    return slot.address;
}

std::string SetHomeFeedAddress(std::string address) {
    FeedAddressSlot& slot = AddressSlot();
    std::lock_guard lock(slot.mutex);
    std::swap(slot.address, address);
    return address;
}
