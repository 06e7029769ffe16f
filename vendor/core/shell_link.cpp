#include "vendor/core/shell_link.h"

#include <liblnk.h>

#include <cctype>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <vector>

#include "platform/win32/ansi_code_page.h"
#include "platform/win32/windows_file_open.h"
#include "vendor/core/shell_link_layout.h"

namespace {

// The code page 8-bit texts are read in when the prefix names none.
constexpr unsigned kWesternCodePage = 1252;

// One of liblnk's UTF-8 string getters; empty when the link has no such string.
template <class SizeFn, class GetFn>
std::string LinkString(liblnk_file_t* file, SizeFn sizeFn, GetFn getFn) {
    size_t size = 0;
    liblnk_error_t* error = nullptr;
    if (sizeFn(file, &size, &error) != 1 || size == 0 || size > 65536) {
        if (error) liblnk_error_free(&error);
        return {};
    }
    std::vector<uint8_t> buf(size + 1, 0);
    if (getFn(file, buf.data(), size, &error) != 1) {
        if (error) liblnk_error_free(&error);
        return {};
    }
    return std::string(reinterpret_cast<const char*>(buf.data()));
}

std::string FolderOf(const std::string& windowsPath) {
    size_t cut = windowsPath.find_last_of("\\/");
    return cut == std::string::npos ? std::string() : windowsPath.substr(0, cut + 1);
}

std::string NameOf(const std::string& windowsPath) {
    size_t cut = windowsPath.find_last_of("\\/");
    return cut == std::string::npos ? windowsPath : windowsPath.substr(cut + 1);
}

bool IsAscii(const std::string& s) {
    for (char c : s)
        if (static_cast<unsigned char>(c) >= 0x80) return false;
    return true;
}

// Whether a path lost characters on its way through an 8-bit code page: Windows writes
// '?' for each character the code page lacks, and no file name holds one (only the
// "\\?\" that starts a long path).
bool LostCharacters(const std::string& path) {
    const size_t from = path.rfind("\\\\?\\", 0) == 0 ? 4 : 0;
    return path.find('?', from) != std::string::npos;
}

bool PathExists(const std::string& path) { return !path.empty() && GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

// The 8-bit path `bytes` decoded in the first ANSI code page other than `tried` that
// names an existing file or folder.
std::optional<std::string> InAnyCodePage(const std::string& bytes, unsigned tried) {
    for (unsigned codePage : qv::kAnsiCodePages) {
        if (codePage == tried) continue;
        std::optional<std::string> path = qv::CodePageToUtf8(bytes, codePage);
        if (path && !LostCharacters(*path) && PathExists(*path)) return path;
    }
    return std::nullopt;
}

std::string Expand(const std::string& text) {
    char buf[4096];
    DWORD n = ExpandEnvironmentStringsA(text.c_str(), buf, sizeof buf);
    return (n > 0 && n <= sizeof buf) ? std::string(buf) : text;
}

}  // namespace

int CShellLink::Load(const std::string& path) {
    m_loaded = false;
    m_unknownTarget = false;
    m_target.clear();
    std::optional<std::filesystem::path> unix = qv::FileNameToUnix(path);
    if (!unix) return 0;
    std::optional<ShellLinkLayout> layout = ReadShellLinkLayout(*unix);
    if (!layout) return 0;
    // 8-bit texts are in the code page of the prefix's locale; where the prefix does not
    // name one, they are read in the western one.
    const std::optional<unsigned> prefixCodePage = qv::PrefixAnsiCodePage();
    const unsigned codePage = prefixCodePage.value_or(kWesternCodePage);
    liblnk_file_t* file = nullptr;
    liblnk_error_t* error = nullptr;
    if (liblnk_file_initialize(&file, &error) != 1) {
        if (error) liblnk_error_free(&error);
        return 0;
    }
    if (liblnk_file_open(file, unix->c_str(), LIBLNK_OPEN_READ, &error) != 1) {
        if (error) liblnk_error_free(&error);
        liblnk_file_free(&file, nullptr);
        return 0;
    }
    const bool liblnkDecodes = liblnk_file_set_ascii_codepage(file, static_cast<int>(codePage), &error) == 1;
    if (error) liblnk_error_free(&error);
    std::string local = LinkString(file, liblnk_file_get_utf8_local_path_size, liblnk_file_get_utf8_local_path);
    std::string env = LinkString(file, liblnk_file_get_utf8_environment_variables_location_size,
                                 liblnk_file_get_utf8_environment_variables_location);
    std::string relative =
        LinkString(file, liblnk_file_get_utf8_relative_path_size, liblnk_file_get_utf8_relative_path);
    std::string folder =
        LinkString(file, liblnk_file_get_utf8_working_directory_size, liblnk_file_get_utf8_working_directory);
    std::string network = LinkString(file, liblnk_file_get_utf8_network_path_size, liblnk_file_get_utf8_network_path);
    liblnk_file_close(file, nullptr);
    liblnk_file_free(&file, nullptr);

    // liblnk gives the link info's UTF-16 local path where the file holds one; otherwise
    // the 8-bit path decoded in the code page set above, when liblnk knows that code page.
    // The prefix's code page is the one of the locale Wine last ran in: a link written
    // under another locale (a Japanese program started with a Japanese LANG in a western
    // prefix) names its target in that locale's code page. So a target not found in the
    // prefix's code page is looked for in the others; only a target found in none is
    // missing.
    const bool eightBitLocal = !layout->unicodeLocalPath && !IsAscii(layout->ansiLocalPath);
    if (eightBitLocal) {
        if (!liblnkDecodes) local = qv::CodePageToUtf8(layout->ansiLocalPath, codePage).value_or("");
        if (local.empty() || !PathExists(local)) local = InAnyCodePage(layout->ansiLocalPath, codePage).value_or(local);
    }
    // The string data (relative path, working folder) is UTF-16 in every link a shell of
    // this century writes; in an older one it is 8-bit, in the same code page.
    const bool eightBitStrings = !(layout->flags & ShellLinkLayout::kIsUnicode);
    if (eightBitStrings && !liblnkDecodes) {
        if (!IsAscii(relative)) relative.clear();
        if (!IsAscii(folder)) folder.clear();
    }
    // Nothing tells which code page an 8-bit relative path is in but the prefix.
    const bool relativeSure = !eightBitStrings || IsAscii(relative) || prefixCodePage.has_value();

    // Each form that names the target, and whether a target missing there is missing for
    // sure. A form with characters lost is no path at all; when the local path lost some,
    // the working folder (in UTF-16) with the local path's file name may still find the
    // target, though the target need not be there.
    struct Candidate {
        std::string path;
        bool sure;
    };
    std::vector<Candidate> candidates;
    auto add = [&](const std::string& candidate, bool isSure) {
        if (!LostCharacters(candidate)) candidates.push_back({candidate, isSure});
    };
    if (!local.empty()) add(local, true);
    if (!env.empty()) add(Expand(env), true);
    if (!relative.empty()) add(FolderOf(path) + relative, relativeSure);
    if (LostCharacters(local) && !folder.empty() && !LostCharacters(NameOf(local))) {
        std::string inFolder = folder;
        if (inFolder.back() != '\\') inFolder += '\\';
        add(inFolder + NameOf(local), false);
    }

    // The first form that names an existing target wins; otherwise the first sure form.
    for (const Candidate& c : candidates) {
        if (PathExists(c.path)) {
            m_target = c.path;
            break;
        }
    }
    for (const Candidate& c : candidates) {
        if (!m_target.empty()) break;
        if (c.sure) m_target = c.path;
    }
    if (m_target.empty()) {
        // A network share, a shell object known only by its item list, or a path that
        // cannot be read faithfully: nothing here can be checked.
        m_unknownTarget = true;
        m_target = !candidates.empty() ? candidates.front().path : !local.empty() ? local : network;
    }
    m_loaded = true;
    return 1;
}

int CShellLink::Resolve(HWND, DWORD) {
    if (!m_loaded) return 0;
    if (m_unknownTarget) return 1;
    return PathExists(m_target) ? 1 : 2;
}

std::string CUrlShellLink::UrlOfText(const std::string& text) {
    std::istringstream in(text);
    std::string line;
    bool inSection = false;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        size_t start = line.find_first_not_of(" \t");
        if (start == std::string::npos) continue;
        line = line.substr(start);
        if (line[0] == '[') {
            std::string section = line.substr(0, line.find(']') + 1);
            for (char& c : section) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
            inSection = section == "[internetshortcut]";
            continue;
        }
        if (!inSection) continue;
        size_t eq = line.find('=');
        if (eq == std::string::npos) continue;
        std::string key = line.substr(0, eq);
        while (!key.empty() && (key.back() == ' ' || key.back() == '\t')) key.pop_back();
        for (char& c : key) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        if (key != "url") continue;
        std::string value = line.substr(eq + 1);
        size_t b = value.find_first_not_of(" \t");
        return b == std::string::npos ? std::string() : value.substr(b);
    }
    return {};
}

std::string CUrlShellLink::PathOfFileUrl(const std::string& url) {
    std::string rest = url.substr(5);  // after "file:"
    while (!rest.empty() && rest[0] == '/') rest.erase(0, 1);
    std::string out;
    for (size_t i = 0; i < rest.size(); ++i) {
        if (rest[i] == '%' && i + 2 < rest.size() && std::isxdigit(static_cast<unsigned char>(rest[i + 1])) &&
            std::isxdigit(static_cast<unsigned char>(rest[i + 2]))) {
            out += static_cast<char>(std::stoi(rest.substr(i + 1, 2), nullptr, 16));
            i += 2;
        } else {
            out += rest[i] == '/' ? '\\' : rest[i];
        }
    }
    // "C:\..." stays; a path without a drive is a Unix path, which Wine reaches through Z:.
    if (out.size() >= 2 && out[1] == ':') return out;
    return "Z:\\" + out;
}

int CUrlShellLink::Load(const std::string& path) {
    m_loaded = false;
    m_unknownTarget = false;
    m_target.clear();
    std::optional<std::filesystem::path> unix = qv::FileNameToUnix(path);
    if (!unix) return 0;
    std::ifstream in(*unix, std::ios::binary);
    if (!in) return 0;
    std::string text(65536, '\0');
    in.read(text.data(), static_cast<std::streamsize>(text.size()));
    text.resize(static_cast<size_t>(in.gcount()));
    m_target = UrlOfText(text);
    m_loaded = true;
    return 1;
}

int CUrlShellLink::Resolve(HWND, DWORD) {
    if (!m_loaded || m_target.empty()) return 0;
    std::string lower = m_target.substr(0, 5);
    for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (lower != "file:") return 1;  // a web address (or another scheme): nothing to check here
    return PathExists(PathOfFileUrl(m_target)) ? 1 : 0;
}
