// The settings store: the program's own key under HKEY_LOCAL_MACHINE and the names of the
// values kept in it, plus the run-at-start entry. Settings are read and written directly
// through CSystem32 with these constants; there is no settings class.
#pragma once

#include <string_view>

namespace settings {

// The product's key; it ends with a backslash. Nothing is stored directly under it.
inline constexpr char kBaseKey[] = "SOFTWARE\\Zembrill\\Quorvane\\1.0\\";

// The options key: the base key with "\Options" appended as the two texts stand, so the path
// carries two backslashes before Options. CSystem32 reads the doubled backslash as one, and
// every caller uses this same string, so all settings land in the key Options.
inline constexpr char kOptionsKey[] = "SOFTWARE\\Zembrill\\Quorvane\\1.0\\\\Options";
static_assert(std::string_view(kOptionsKey).substr(0, sizeof kBaseKey - 1) == kBaseKey &&
                  std::string_view(kOptionsKey).substr(sizeof kBaseKey - 1) == "\\Options",
              "the options key is the base key followed by \\Options");

// Values of the options key (root HKEY_LOCAL_MACHINE).
inline constexpr char kLastScan[] = "Last Scan";                  // text, kTimeFormat
inline constexpr char kLastBackup[] = "Last Backup";              // text, kTimeFormat
inline constexpr char kCheckRestorePoint[] = "CheckRestorePoint"; // int 0/1
inline constexpr char kCheckUpdate[] = "CheckUpdate";             // int 0/1
inline constexpr char kStartup[] = "Startup";                     // int, see below
inline constexpr char kBFlag[] = "BFlag";                         // int
inline constexpr char kBTimeStamp[] = "BTimeStamp";               // text, "%H%M"
inline constexpr char kLastBuildDate[] = "LastBuildDate";         // text
inline constexpr char kVersion[] = "Version";                     // text, a whole number
inline constexpr char kBuild[] = "Build";                         // text, a whole number
inline constexpr char kUpgradeURL[] = "UpgradeURL";               // text
inline constexpr char kSpecialOffer[] = "SpecialOffer";           // text
inline constexpr char kSpecialOfferURL[] = "SpecialOfferURL";     // text

// "Startup": what the options page last saved (0 off, 1 on), or what an installer asks for
// on the page's next showing (2 switch on now, 3 switch off now).
inline constexpr int kStartupOff = 0;
inline constexpr int kStartupOn = 1;
inline constexpr int kStartupSwitchOnNow = 2;
inline constexpr int kStartupSwitchOffNow = 3;

// The pattern of "Last Scan", "Last Backup" and the backup listing: Jun,06 2009 7:05 PM.
// '#' is the Windows runtime's flag (hour without a leading zero); FormatTime honours it.
inline constexpr char kTimeFormat[] = "%b,%d %Y %#I:%M %p";
// The pattern of "BTimeStamp": hour (24-hour clock) and minute, 0905.
inline constexpr char kBootTimeStampFormat[] = "%H%M";

// Run at Windows start (root HKEY_CURRENT_USER): the value holds the quoted program path
// followed by " /startup".
inline constexpr char kRunKey[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\run";
inline constexpr char kRunValue[] = "Quorvane";

// Where the system configuration utility keeps startup items that are switched off (root
// HKEY_LOCAL_MACHINE), one subkey per item, and the subkey of this program's own item.
inline constexpr char kDisabledStartupKey[] =
    "SOFTWARE\\Microsoft\\Shared Tools\\MSConfig\\startupreg";
inline constexpr char kDisabledStartupItemKey[] =
    "SOFTWARE\\Microsoft\\Shared Tools\\MSConfig\\startupreg\\Quorvane";

}  // namespace settings
