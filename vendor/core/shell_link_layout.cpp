#include "vendor/core/shell_link_layout.h"

#include <fstream>
#include <vector>

namespace {

constexpr uint32_t kHeaderSize = 0x4C;
constexpr uint32_t kHasTargetIdList = 0x1;
constexpr uint32_t kHasLinkInfo = 0x2;
constexpr uint32_t kLinkInfoHasLocalPath = 0x1;  // VolumeIDAndLocalBasePath
constexpr uint32_t kLinkInfoUnicodeHeaderSize = 0x24;
// A link info block is a few hundred bytes; one larger than this is not a shell's.
constexpr uint32_t kMaxLinkInfoSize = 65536;

class LinkFile {
public:
    explicit LinkFile(const std::filesystem::path& file) : in_(file, std::ios::binary) {
        if (!in_) return;
        in_.seekg(0, std::ios::end);
        size_ = in_.tellg();
    }
    bool IsOpen() const { return static_cast<bool>(in_) && size_ >= 0; }
    std::streamoff Size() const { return size_; }

    bool ReadBytes(std::streamoff at, size_t count, void* out) {
        if (at < 0 || at + static_cast<std::streamoff>(count) > size_) return false;
        in_.clear();
        in_.seekg(at);
        return static_cast<bool>(in_.read(static_cast<char*>(out), static_cast<std::streamsize>(count)));
    }
    // A little-endian number of `bytes` (2 or 4) bytes at `at`.
    bool ReadNumber(std::streamoff at, int bytes, uint32_t& value) {
        uint8_t b[4] = {};
        if (!ReadBytes(at, static_cast<size_t>(bytes), b)) return false;
        value = static_cast<uint32_t>(b[0] | (b[1] << 8) | (b[2] << 16)) | (static_cast<uint32_t>(b[3]) << 24);
        return true;
    }

private:
    std::ifstream in_;
    std::streamoff size_ = -1;
};

uint32_t NumberAt(const std::vector<uint8_t>& block, size_t at) {
    if (at + 4 > block.size()) return 0;
    return static_cast<uint32_t>(block[at] | (block[at + 1] << 8) | (block[at + 2] << 16)) |
           (static_cast<uint32_t>(block[at + 3]) << 24);
}

// The NUL-terminated 8-bit string at `offset` of the block; empty when the offset lies
// outside it.
std::string StringAt(const std::vector<uint8_t>& block, uint32_t offset) {
    std::string s;
    for (size_t i = offset; i < block.size() && block[i] != 0; ++i) s += static_cast<char>(block[i]);
    return s;
}

// The local path fields of a link info block.
void ReadLocalPath(const std::vector<uint8_t>& info, ShellLinkLayout& layout) {
    const uint32_t headerSize = NumberAt(info, 4);
    const uint32_t infoFlags = NumberAt(info, 8);
    if (!(infoFlags & kLinkInfoHasLocalPath)) return;
    const uint32_t base = NumberAt(info, 16);
    const uint32_t suffix = NumberAt(info, 24);
    if (base != 0) layout.ansiLocalPath = StringAt(info, base);
    if (!layout.ansiLocalPath.empty() && suffix != 0) layout.ansiLocalPath += StringAt(info, suffix);
    layout.unicodeLocalPath = headerSize >= kLinkInfoUnicodeHeaderSize && NumberAt(info, 28) != 0 &&
                              NumberAt(info, 28) < info.size();
}

}  // namespace

std::optional<ShellLinkLayout> ReadShellLinkLayout(const std::filesystem::path& file) {
    LinkFile in(file);
    if (!in.IsOpen()) return std::nullopt;
    ShellLinkLayout layout;
    uint32_t headerSize = 0;
    if (!in.ReadNumber(0, 4, headerSize) || headerSize != kHeaderSize || !in.ReadNumber(0x14, 4, layout.flags))
        return std::nullopt;
    std::streamoff at = kHeaderSize;
    uint32_t n = 0;
    if (layout.flags & kHasTargetIdList) {
        if (!in.ReadNumber(at, 2, n)) return std::nullopt;
        at += 2 + static_cast<std::streamoff>(n);
    }
    if (layout.flags & kHasLinkInfo) {
        if (!in.ReadNumber(at, 4, n) || n < 4 || n > kMaxLinkInfoSize) return std::nullopt;
        std::vector<uint8_t> info(n);
        if (!in.ReadBytes(at, n, info.data())) return std::nullopt;
        ReadLocalPath(info, layout);
        at += static_cast<std::streamoff>(n);
    }
    for (uint32_t bit : {0x4u, 0x8u, 0x10u, 0x20u, 0x40u}) {  // name, relative path, folder, arguments, icon
        if (!(layout.flags & bit)) continue;
        if (!in.ReadNumber(at, 2, n)) return std::nullopt;
        at += 2 + static_cast<std::streamoff>(n) * ((layout.flags & ShellLinkLayout::kIsUnicode) ? 2 : 1);
    }
    if (at > in.Size()) return std::nullopt;
    // Extra data blocks, each with its size, up to one smaller than 4 (the end mark).
    for (int blocks = 0; blocks < 4096 && in.ReadNumber(at, 4, n) && n >= 4; ++blocks) {
        if (at + static_cast<std::streamoff>(n) > in.Size()) return std::nullopt;
        at += static_cast<std::streamoff>(n);
    }
    return layout;
}
