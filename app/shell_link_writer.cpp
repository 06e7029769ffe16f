#include "app/shell_link_writer.h"

#include "platform/registry/reg_text.h"

#include <fstream>

namespace {

// Header flags and sizes of the Shell Link format.
constexpr uint32_t kHeaderSize = 0x4C;
constexpr uint32_t kHasLinkInfo = 0x02;
constexpr uint32_t kHasName = 0x04;
constexpr uint32_t kHasRelativePath = 0x08;
constexpr uint32_t kHasWorkingDir = 0x10;
constexpr uint32_t kHasArguments = 0x20;
constexpr uint32_t kHasIconLocation = 0x40;
constexpr uint32_t kIsUnicode = 0x80;
constexpr uint32_t kAttributeDirectory = 0x10;
constexpr uint32_t kAttributeArchive = 0x20;
constexpr uint32_t kShowNormal = 1;
constexpr uint32_t kVolumeIdAndLocalBasePath = 0x1;
constexpr uint32_t kLinkInfoHeaderSize = 0x1C;
constexpr uint32_t kLinkInfoHeaderSizeUnicode = 0x24;
constexpr uint32_t kDriveFixed = 3;
constexpr uint32_t kVolumeIdHeaderSize = 0x10;

// {00021401-0000-0000-C000-000000000046} as stored.
constexpr unsigned char kShellLinkClsid[16] = {0x01, 0x14, 0x02, 0x00, 0x00, 0x00, 0x00, 0x00,
                                               0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46};

void PutU16(std::string& out, uint16_t v) {
    out += static_cast<char>(v & 0xFF);
    out += static_cast<char>(v >> 8);
}

void PutU32(std::string& out, uint32_t v) {
    for (int i = 0; i < 4; ++i) out += static_cast<char>((v >> (8 * i)) & 0xFF);
}

void PutUtf16(std::string& out, std::u16string_view s) {
    for (char16_t c : s) PutU16(out, static_cast<uint16_t>(c));
}

bool IsAscii(std::string_view s) {
    for (char c : s)
        if (static_cast<unsigned char>(c) >= 0x80) return false;
    return true;
}

// The link info block: a volume id of a fixed drive and the local base path. A path that
// is not plain ASCII is also given in UTF-16, since the 8-bit form is read in the reader's
// code page.
std::string BuildLinkInfo(const ShellLinkData& link) {
    const bool unicode = !IsAscii(link.targetPath);
    const uint32_t headerSize = unicode ? kLinkInfoHeaderSizeUnicode : kLinkInfoHeaderSize;

    std::string volume;
    PutU32(volume, kVolumeIdHeaderSize + 1);  // header and an empty label
    PutU32(volume, kDriveFixed);
    PutU32(volume, link.volumeSerial);
    PutU32(volume, kVolumeIdHeaderSize);
    volume += '\0';

    const uint32_t volumeOffset = headerSize;
    const uint32_t baseOffset = volumeOffset + static_cast<uint32_t>(volume.size());
    const uint32_t suffixOffset = baseOffset + static_cast<uint32_t>(link.targetPath.size()) + 1;
    uint32_t end = suffixOffset + 1;

    std::string tail = volume;
    tail += link.targetPath;
    tail += '\0';
    tail += '\0';  // empty common path suffix

    uint32_t baseOffsetUnicode = 0;
    uint32_t suffixOffsetUnicode = 0;
    if (unicode) {
        const std::u16string wide = qv::reg::ToUtf16(link.targetPath);
        baseOffsetUnicode = end;
        PutUtf16(tail, wide);
        PutU16(tail, 0);
        suffixOffsetUnicode = baseOffsetUnicode + 2 * static_cast<uint32_t>(wide.size() + 1);
        PutU16(tail, 0);
        end = suffixOffsetUnicode + 2;
    }

    std::string info;
    PutU32(info, end);
    PutU32(info, headerSize);
    PutU32(info, kVolumeIdAndLocalBasePath);
    PutU32(info, volumeOffset);
    PutU32(info, baseOffset);
    PutU32(info, 0);  // no network location
    PutU32(info, suffixOffset);
    if (unicode) {
        PutU32(info, baseOffsetUnicode);
        PutU32(info, suffixOffsetUnicode);
    }
    info += tail;
    return info;
}

// One string-data entry: a count of UTF-16 code units, then the units. Texts longer than
// the count can say are cut.
void PutStringData(std::string& out, const std::string& text) {
    std::u16string wide = qv::reg::ToUtf16(text);
    if (wide.size() > 0xFFFF) wide.resize(0xFFFF);
    PutU16(out, static_cast<uint16_t>(wide.size()));
    PutUtf16(out, wide);
}

}  // namespace

std::string BuildShellLink(const ShellLinkData& link) {
    uint32_t flags = kHasLinkInfo | kIsUnicode;
    if (!link.description.empty()) flags |= kHasName;
    if (!link.relativePath.empty()) flags |= kHasRelativePath;
    if (!link.workingDir.empty()) flags |= kHasWorkingDir;
    if (!link.arguments.empty()) flags |= kHasArguments;
    if (!link.iconLocation.empty()) flags |= kHasIconLocation;

    std::string out;
    PutU32(out, kHeaderSize);
    out.append(reinterpret_cast<const char*>(kShellLinkClsid), sizeof kShellLinkClsid);
    PutU32(out, flags);
    PutU32(out, link.targetIsFolder ? kAttributeDirectory : kAttributeArchive);
    for (int i = 0; i < 6; ++i) PutU32(out, 0);  // creation, access and write times
    PutU32(out, link.targetSize);
    PutU32(out, 0);  // icon index
    PutU32(out, kShowNormal);
    PutU16(out, 0);  // hot key
    PutU16(out, 0);  // reserved
    PutU32(out, 0);
    PutU32(out, 0);

    out += BuildLinkInfo(link);

    // String data in the order the format fixes: name, relative path, working folder,
    // arguments, icon.
    if (flags & kHasName) PutStringData(out, link.description);
    if (flags & kHasRelativePath) PutStringData(out, link.relativePath);
    if (flags & kHasWorkingDir) PutStringData(out, link.workingDir);
    if (flags & kHasArguments) PutStringData(out, link.arguments);
    if (flags & kHasIconLocation) PutStringData(out, link.iconLocation);

    PutU32(out, 0);  // terminal block: no extra data
    return out;
}

bool WriteShellLinkFile(const std::filesystem::path& file, const ShellLinkData& link) {
    const std::string bytes = BuildShellLink(link);
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    if (!out) return false;
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    out.close();
    return static_cast<bool>(out);
}
