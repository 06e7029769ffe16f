#include "app/app_utils.h"

#include <shlobj.h>
#include <windows.h>

#include <ctime>
#include <locale.h>
#include <optional>
#include <vector>

namespace {

constexpr DWORD kModulePathBuffer = 500;
// A program path longer than the first buffer is read again with a larger one rather than
// cut short, up to the longest path the file system can name.
constexpr DWORD kModulePathBufferLimit = 32768;
constexpr size_t kTimeBuffer = 128;

// The "C" locale, kept for the life of the process, so that month names and AM/PM never
// follow the user's LANG and the process-wide locale is left alone.
locale_t ClassicLocale() {
    static const locale_t locale = newlocale(LC_ALL_MASK, "C", locale_t(0));
    return locale;
}

bool IsNoPadConversion(char c) {
    switch (c) {
    case 'd': case 'H': case 'I': case 'j': case 'm': case 'M':
    case 'S': case 'U': case 'w': case 'W': case 'y': case 'Y':
        return true;
    default:
        return false;
    }
}

// Rewrites a pattern written for the Windows runtime into one for this C library. The only
// difference that matters is the '#' flag: on numeric conversions it drops leading zeros
// (the C library's '-' flag), on %c and %x it asks for the long date form, and elsewhere it
// is ignored. The C library gives '#' another meaning (case swapping), so it never passes
// through. A pattern ending in a lone '%' or "%#" is malformed: nullopt.
std::optional<std::string> TranslatePattern(const char* pattern) {
    std::string out;
    for (const char* p = pattern; *p != '\0'; ++p) {
        if (*p != '%') {
            out += *p;
            continue;
        }
        ++p;
        if (*p == '\0') return std::nullopt;
        if (*p != '#') {
            out += '%';
            out += *p;
            continue;
        }
        ++p;
        const char c = *p;
        if (c == '\0') return std::nullopt;
        if (IsNoPadConversion(c)) {
            out += "%-";
            out += c;
        } else if (c == 'c') {
            out += "%A, %B %d, %Y, %H:%M:%S";
        } else if (c == 'x') {
            out += "%A, %B %d, %Y";
        } else {
            out += '%';
            out += c;
        }
    }
    return out;
}

}  // namespace

std::string GetModulePath() {
    std::vector<char> buffer(kModulePathBuffer, '\0');
    for (;;) {
        const DWORD size = static_cast<DWORD>(buffer.size());
        const DWORD length = GetModuleFileNameA(nullptr, buffer.data(), size);
        if (length == 0) return "";
        if (length < size) return std::string(buffer.data(), length);
        if (size >= kModulePathBufferLimit) return "";
        buffer.assign(static_cast<size_t>(size) * 4, '\0');
    }
}

std::string GetModuleDirectory() {
    const std::string path = GetModulePath();
    const size_t slash = path.rfind('\\');
    if (slash == std::string::npos) return "";
    return path.substr(0, slash);
}

std::string GetAppDataFolder() {
    char buffer[MAX_PATH] = {};
    if (!SHGetSpecialFolderPathA(nullptr, buffer, CSIDL_APPDATA, FALSE)) return "";
    buffer[MAX_PATH - 1] = '\0';
    return buffer;
}

std::string IntToString(int32_t value) {
    return std::to_string(value);
}

std::string FormatTime(int64_t time, const char* pattern) {
    if (pattern == nullptr) return "";
    const std::optional<std::string> translated = TranslatePattern(pattern);
    if (!translated) return "";

    const time_t t = static_cast<time_t>(time);
    if (static_cast<int64_t>(t) != time) return "";
    // localtime_r reads the time zone only once; tzset picks up a changed TZ.
    tzset();
    struct tm local {};
    if (localtime_r(&t, &local) == nullptr) return "";

    const locale_t locale = ClassicLocale();
    if (locale == locale_t(0)) return "";
    char buffer[kTimeBuffer] = {};
    const size_t length = strftime_l(buffer, sizeof buffer, translated->c_str(), &local, locale);
    if (length == 0) return "";
    return std::string(buffer, length);
}
