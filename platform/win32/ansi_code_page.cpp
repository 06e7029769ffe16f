#include "platform/win32/ansi_code_page.h"

#include <iconv.h>
#include <windows.h>

#include <cerrno>
#include <charconv>
#include <vector>

#include "platform/win32/registry_text_values.h"

namespace qv {
namespace {

constexpr const char* kCodePageKey = "System\\CurrentControlSet\\Control\\Nls\\CodePage";

// The name iconv knows a Windows code page by; empty for code pages it is not asked for.
std::string IconvName(unsigned codePage) {
    switch (codePage) {
        case 65001: return "UTF-8";
        case 20127: return "ASCII";
        case 20866: return "KOI8-R";
        case 21866: return "KOI8-U";
        default: break;
    }
    if (codePage >= 28591 && codePage <= 28606) return "ISO-8859-" + std::to_string(codePage - 28590);
    // The Windows (874, 932, 936, 949, 950, 1250-1258) and OEM (437, 850, 866, ...) code
    // pages, which glibc calls CPnnn.
    if (codePage >= 437 && codePage <= 1258) return "CP" + std::to_string(codePage);
    return {};
}

}  // namespace

std::optional<unsigned> PrefixAnsiCodePage() {
    std::optional<RegistryText> value = ReadRegistryText(HKEY_LOCAL_MACHINE, kCodePageKey, "ACP");
    if (!value) return std::nullopt;
    unsigned codePage = 0;
    const char* begin = value->text.data();
    const char* end = begin + value->text.size();
    auto [last, error] = std::from_chars(begin, end, codePage);
    if (error != std::errc() || last != end || codePage == 0) return std::nullopt;
    return codePage;
}

std::optional<std::string> CodePageToUtf8(std::string_view bytes, unsigned codePage) {
    const std::string name = IconvName(codePage);
    if (name.empty()) return std::nullopt;
    iconv_t cd = ::iconv_open("UTF-8", name.c_str());
    if (cd == reinterpret_cast<iconv_t>(-1)) return std::nullopt;
    std::string in(bytes);
    std::vector<char> out(in.size() * 4 + 4);
    char* inPtr = in.data();
    size_t inLeft = in.size();
    char* outPtr = out.data();
    size_t outLeft = out.size();
    // Every code page here takes at most four UTF-8 bytes per input byte, so the output
    // cannot run short; an invalid or cut-off sequence stops the conversion.
    size_t done = ::iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft);
    if (done != static_cast<size_t>(-1)) done = ::iconv(cd, nullptr, nullptr, &outPtr, &outLeft);
    ::iconv_close(cd);
    if (done == static_cast<size_t>(-1) || inLeft != 0) return std::nullopt;
    return std::string(out.data(), out.size() - outLeft);
}

}  // namespace qv
