// The prefix's ANSI code page, and 8-bit text written in a Windows code page.
//
// Programs in a prefix write 8-bit paths (the 8-bit local path of a shortcut, texts of old
// programs) in the code page Wine chose for the user's locale: 932 under a Japanese locale,
// 1251 under a Russian one, 1252 under most western ones. Wine records that code page in
// the registry (HKLM\System\CurrentControlSet\Control\Nls\CodePage, value "ACP").
#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>

namespace qv {

// The ANSI code pages of Windows locales (Thai, Japanese, Chinese, Korean, the Windows
// 125x pages) and UTF-8, which Wine uses for locales without one; the western one first.
constexpr std::array<unsigned, 15> kAnsiCodePages = {1252, 932,  936,  949,  950,  1250, 1251, 1253,
                                                     1254, 1255, 1256, 1257, 1258, 874,  65001};

// The ANSI code page the active prefix's registry names; empty when the value is missing
// or is not a code page number (a prefix made before Wine recorded it, or no prefix).
std::optional<unsigned> PrefixAnsiCodePage();

// `bytes` (no terminating NUL) in Windows code page `codePage`, as UTF-8. Empty when the
// code page is not known here or the bytes are not valid text in it: text decoded in the
// wrong code page would name a file that does not exist.
std::optional<std::string> CodePageToUtf8(std::string_view bytes, unsigned codePage);

}  // namespace qv
