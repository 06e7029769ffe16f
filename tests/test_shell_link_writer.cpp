#include "app/shell_link_writer.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <unistd.h>

namespace {

uint32_t U32(const std::string& b, size_t at) {
    uint32_t v = 0;
    for (int i = 3; i >= 0; --i) v = (v << 8) | static_cast<unsigned char>(b.at(at + i));
    return v;
}

uint16_t U16(const std::string& b, size_t at) {
    return static_cast<uint16_t>(static_cast<unsigned char>(b.at(at)) |
                                 (static_cast<unsigned char>(b.at(at + 1)) << 8));
}

std::string CString(const std::string& b, size_t at) {
    return std::string(b.c_str() + at);
}

// Runs a command and returns what it printed; empty when it could not run.
std::string Capture(const std::string& command) {
    std::string out;
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) return out;
    char buffer[4096];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) out.append(buffer, n);
    pclose(pipe);
    return out;
}

}  // namespace

TEST(ShellLinkWriter, LayoutNamesTheTargetByItsLocalPath) {
    ShellLinkData link;
    link.targetPath = "C:\\Program Files\\Gone\\gone.exe";
    link.workingDir = "C:\\Program Files\\Gone";
    link.description = "Gone";
    const std::string b = BuildShellLink(link);

    ASSERT_GE(b.size(), 0x4Cu + 0x1Cu);
    EXPECT_EQ(U32(b, 0), 0x4Cu);
    EXPECT_EQ(U32(b, 4), 0x00021401u);           // first field of the shell link class id
    const uint32_t flags = U32(b, 0x14);
    EXPECT_EQ(flags, 0x02u | 0x04u | 0x10u | 0x80u);  // link info, name, working dir, Unicode

    const size_t info = 0x4C;
    const uint32_t infoSize = U32(b, info);
    EXPECT_EQ(U32(b, info + 4), 0x1Cu);
    EXPECT_EQ(U32(b, info + 8), 1u);               // volume id and local base path
    const uint32_t volume = U32(b, info + 12);
    EXPECT_EQ(U32(b, info + volume + 4), 3u);      // fixed drive
    EXPECT_EQ(CString(b, info + U32(b, info + 16)), link.targetPath);
    EXPECT_EQ(U32(b, info + 20), 0u);
    EXPECT_EQ(CString(b, info + U32(b, info + 24)), "");

    // Name and working folder follow as counted UTF-16 texts, then the terminal block.
    EXPECT_EQ(U16(b, info + infoSize), 4u);
    EXPECT_EQ(U32(b, b.size() - 4), 0u);
}

TEST(ShellLinkWriter, NonAsciiTargetAlsoCarriesTheUnicodePath) {
    ShellLinkData link;
    link.targetPath = "C:\\Spiele\\Über.exe";
    const std::string b = BuildShellLink(link);
    const size_t info = 0x4C;
    ASSERT_EQ(U32(b, info + 4), 0x24u);
    const uint32_t wide = U32(b, info + 28);
    const std::u16string expected = u"C:\\Spiele\\Über.exe";
    for (size_t i = 0; i < expected.size(); ++i) EXPECT_EQ(U16(b, info + wide + 2 * i), expected[i]);
    EXPECT_EQ(U16(b, info + wide + 2 * expected.size()), 0u);
    EXPECT_EQ(U32(b, info), U32(b, info + 32) + 2);  // suffix is the block's last field
}

// The link library's own reader must see the same target.
TEST(ShellLinkWriter, ReadableByTheLinkLibrary) {
    if (std::system("command -v lnkinfo >/dev/null 2>&1") != 0) GTEST_SKIP() << "lnkinfo missing";
    const std::filesystem::path file =
        std::filesystem::temp_directory_path() / ("qv-link-" + std::to_string(getpid()) + ".lnk");
    ShellLinkData link;
    link.targetPath = "C:\\Program Files\\Gone\\gone.exe";
    link.arguments = "-silent";
    link.relativePath = "..\\Gone\\gone.exe";
    link.workingDir = "C:\\Program Files\\Gone";
    ASSERT_TRUE(WriteShellLinkFile(file, link));
    const std::string shown = Capture("lnkinfo '" + file.string() + "' 2>&1");
    std::filesystem::remove(file);
    EXPECT_NE(shown.find("C:\\Program Files\\Gone\\gone.exe"), std::string::npos) << shown;
    EXPECT_NE(shown.find("-silent"), std::string::npos) << shown;
    EXPECT_NE(shown.find(": ..\\Gone\\gone.exe\n"), std::string::npos) << shown;      // the relative path
    EXPECT_NE(shown.find(": C:\\Program Files\\Gone\n"), std::string::npos) << shown;  // the working folder
}
