#include "vendor/core/shell_link.h"

#include <liblnk.h>

#include <cctype>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <vector>

#include "platform/win32/windows_file_open.h"

namespace {

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

// Whether the sizes a .lnk file gives for its parts fit inside the file. liblnk allocates
// what a size field says before it reads, so a few crafted bytes could make it ask for
// gigabytes; such a file is damaged (no shell could use it) and is not handed to it.
bool LinkSizesFit(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    if (!in) return false;
    in.seekg(0, std::ios::end);
    const std::streamoff size = in.tellg();
    auto read = [&](std::streamoff at, int bytes, uint32_t& value) {
        if (at < 0 || at + bytes > size) return false;
        uint8_t b[4] = {};
        in.seekg(at);
        if (!in.read(reinterpret_cast<char*>(b), bytes)) return false;
        value = static_cast<uint32_t>(b[0] | (b[1] << 8) | (b[2] << 16)) | (static_cast<uint32_t>(b[3]) << 24);
        return true;
    };
    uint32_t headerSize = 0, flags = 0;
    if (!read(0, 4, headerSize) || headerSize != 0x4C || !read(0x14, 4, flags)) return false;
    std::streamoff at = 0x4C;
    uint32_t n = 0;
    if (flags & 0x1) {  // the item list of the target
        if (!read(at, 2, n)) return false;
        at += 2 + static_cast<std::streamoff>(n);
    }
    if (flags & 0x2) {  // where the target is
        if (!read(at, 4, n) || n < 4) return false;
        at += static_cast<std::streamoff>(n);
    }
    for (uint32_t bit : {0x4u, 0x8u, 0x10u, 0x20u, 0x40u}) {  // name, relative path, folder, arguments, icon
        if (!(flags & bit)) continue;
        if (!read(at, 2, n)) return false;
        at += 2 + static_cast<std::streamoff>(n) * ((flags & 0x80) ? 2 : 1);
    }
    if (at > size) return false;
    // Extra data blocks, each with its size, up to one smaller than 4 (the end mark).
    for (int blocks = 0; blocks < 4096 && read(at, 4, n) && n >= 4; ++blocks) {
        if (at + static_cast<std::streamoff>(n) > size) return false;
        at += static_cast<std::streamoff>(n);
    }
    return true;
}

std::string FolderOf(const std::string& windowsPath) {
    size_t cut = windowsPath.find_last_of("\\/");
    return cut == std::string::npos ? std::string() : windowsPath.substr(0, cut + 1);
}

bool PathExists(const std::string& path) { return !path.empty() && GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

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
    if (!unix || !LinkSizesFit(*unix)) return 0;
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
    std::string local = LinkString(file, liblnk_file_get_utf8_local_path_size, liblnk_file_get_utf8_local_path);
    std::string env = LinkString(file, liblnk_file_get_utf8_environment_variables_location_size,
                                 liblnk_file_get_utf8_environment_variables_location);
    std::string relative =
        LinkString(file, liblnk_file_get_utf8_relative_path_size, liblnk_file_get_utf8_relative_path);
    std::string network = LinkString(file, liblnk_file_get_utf8_network_path_size, liblnk_file_get_utf8_network_path);
    liblnk_file_close(file, nullptr);
    liblnk_file_free(&file, nullptr);

    // The first form that names an existing target wins; otherwise the first form given.
    std::vector<std::string> candidates;
    if (!local.empty()) candidates.push_back(local);
    if (!env.empty()) candidates.push_back(Expand(env));
    if (!relative.empty()) candidates.push_back(FolderOf(path) + relative);
    for (const std::string& c : candidates) {
        if (PathExists(c)) {
            m_target = c;
            break;
        }
    }
    if (m_target.empty() && !candidates.empty()) m_target = candidates.front();
    if (candidates.empty()) {
        // A network share, or a shell object known only by its item list.
        m_unknownTarget = true;
        m_target = network;
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
