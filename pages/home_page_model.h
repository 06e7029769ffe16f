// The logic of the home page, without windows: the lines it shows, computed from the
// settings store, what its Scan Now button records, where its links lead, and the update
// check it starts when it opens.
//
// The update check runs on a worker thread under the bounded limits of the Internet
// stand-in, so a slow or silent feed server never holds the window; the page builds its
// lines at once from what the store holds and builds them again when the check has ended.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <thread>

// Everything the home page shows.
struct HomeStatus {
    std::string lastScanLine;  // caption and time of the last scan, or "no scan history"
    std::string versionLine;   // caption and the program's own version text
    std::string updateNotice;  // "(Version 2 is Available)"; empty: no news, kept hidden
    std::string offerCaption;  // "Special Offer:"
    std::string offerText;     // the feed's offer; empty: no offer, caption and text hidden
    bool offerIsLink = false;  // the offer's address is one the browser may open
};

class CHomePageModel {
public:
    // The leading whole number of `text` as the runtime's atoi reads it (blanks, a sign,
    // digits); 0 when there is none. Out-of-range numbers saturate instead of overflowing.
    static long LeadingNumber(const std::string& text);

    // The notice for a stored version and build against the program's own (strings 166
    // and 165): a newer version wins over a newer build; empty when there is no news or no
    // stored build. A version that cannot be read counts as the empty text.
    static std::string UpdateNotice(const std::optional<std::string>& version,
                                    const std::optional<std::string>& build);

    // The last-scan line for a stored "Last Scan" (none: no scan history).
    static std::string LastScanLine(const std::optional<std::string>& lastScan);

    // The version line: caption and "Quorvane v 1.0 Build 146".
    static std::string VersionLine();

    // All lines from the settings store as it is now.
    HomeStatus RefreshStatus() const;

    // Scan Now: writes "Last Scan" = now and returns the new last-scan line.
    std::string RecordScanStart() const;

    // The links: open "UpgradeURL" or "SpecialOfferURL" in the browser when the setting
    // holds an http or https address; anything else (a file, a command, another scheme,
    // nothing stored) is not opened. True when the browser was started.
    bool OpenUpgradeAddress() const;
    bool OpenOfferAddress() const;
};

// The home page's update check: when "CheckUpdate" is set, the feed at the address is
// checked on a worker thread, and `done` runs on that thread once the settings are stored
// (or the check failed). The owner waits for the worker when it goes; the wait is bounded by
// the Internet stand-in's time limits.
class CHomeUpdateCheck {
public:
    CHomeUpdateCheck() = default;
    ~CHomeUpdateCheck() { Wait(); }
    CHomeUpdateCheck(const CHomeUpdateCheck&) = delete;
    CHomeUpdateCheck& operator=(const CHomeUpdateCheck&) = delete;

    // True when "CheckUpdate" can be read and is non-zero.
    static bool IsWanted();

    // Starts the check unless one runs or "CheckUpdate" is off; true when it started.
    bool Start(const std::string& address, std::function<void()> done);
    // Returns once the worker (if any) has ended.
    void Wait();

private:
    std::thread m_worker;
};

// The feed address the home page checks: string 167, unless replaced. Tests point it at a
// local server; the call returns the address it replaces.
std::string HomeFeedAddress();
std::string SetHomeFeedAddress(std::string address);
