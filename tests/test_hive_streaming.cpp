// Registry files read and written in pieces: the result must not depend on where the pieces
// end.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include "platform/registry/atomic_file.h"
#include "platform/registry/hive_file_reader.h"
#include "platform/registry/reg_text.h"
#include "platform/registry/wine_hive_format.h"
#include "temp_dir.h"

using namespace qv::reg;
namespace fs = std::filesystem;

namespace {

ParsedHive ParseFile(const fs::path& file, uint64_t maxBytes = uint64_t(1) << 32) {
    int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
    EXPECT_GE(fd, 0);
    ParsedHive h = ParseWineHiveFile(fd, maxBytes, "too large", "user.reg", 1);
    ::close(fd);
    return h;
}

// A file of a few megabytes whose lines cross the reader's 1 MB pieces at many places: long
// and short lines, CRLF line ends, multi-byte UTF-8, hex lists continued over lines, one
// line longer than a piece, and a last line without its line end.
std::string LargeOddFile() {
    std::string text = "WINE REGISTRY Version 2\r\n;; All keys relative to REGISTRY\\\\User\\\\S-1-5-21-0-0-0-1000\n\n";
    text += "#arch=win64\n";
    for (int i = 0; text.size() < (size_t(3) << 20); ++i) {
        text += "\n[Software\\\\Streamed\\\\K" + std::to_string(i) + "] 1600000000\r\n#time=1d6f0e5c0a4b3c2\n";
        text += "\"name\xc3\xa9" + std::to_string(i) + "\"=\"" + std::string(static_cast<size_t>(i % 997), 'x') +
                "\xe2\x82\xac\\\\tail\"\r\n";
        text += "\"bin\"=hex:01,02,03,04,05,06,07,08,09,0a,0b,0c,0d,0e,0f,10,11,12,13,14,15,16,17,18,\\\n  19,1a\n";
        if (i == 700) text += "\"huge\"=\"" + std::string((size_t(3) << 19), 'h') + "\"\n";
    }
    text += "\"last\"=dword:00000007";  // cut off: no line end
    return text;
}

}  // namespace

TEST(HiveStreaming, AFileReadInPiecesGivesWhatTheWholeTextGives) {
    qvtest::TempDir tmp;
    const std::string text = LargeOddFile();
    qvtest::WriteFile(tmp.path() / "user.reg", text);
    ParsedHive whole = ParseWineHive(text, "user.reg", 1);
    ParsedHive pieces = ParseFile(tmp.path() / "user.reg");
    EXPECT_FALSE(pieces.report.rejected);
    EXPECT_EQ(pieces.report.messages, whole.report.messages);
    EXPECT_EQ(pieces.report.lossy, whole.report.lossy);
    ASSERT_FALSE(whole.report.messages.empty());  // the missing last line end is said
    const std::string saved = SerializeWineHive(*whole.root, Branch::User, "win64");
    EXPECT_TRUE(SerializeWineHive(*pieces.root, Branch::User, "win64") == saved);
    const Key* k = pieces.root->FindSubkey(u"Software")->FindSubkey(u"Streamed")->FindSubkey(u"K700");
    ASSERT_NE(k, nullptr);
    ASSERT_NE(k->FindValue(u"huge"), nullptr);
    EXPECT_EQ(k->FindValue(u"huge")->data.size(), ((size_t(3) << 19) + 1) * 2);
    EXPECT_NE(k->FindValue(u"name\xe9" u"700"), nullptr);
}

TEST(HiveStreaming, AFileLargerThanTheLimitIsRejectedWhole) {
    qvtest::TempDir tmp;
    qvtest::WriteFile(tmp.path() / "user.reg", LargeOddFile());
    ParsedHive h = ParseFile(tmp.path() / "user.reg", 1 << 20);
    EXPECT_TRUE(h.report.rejected);
    ASSERT_EQ(h.report.messages.size(), 1u);
    EXPECT_EQ(h.report.messages[0], "too large");
    EXPECT_TRUE(h.root->Subkeys().empty());
}

TEST(HiveStreaming, ATreeWrittenInPiecesIsTheSameTextInBoundedPieces) {
    const std::string text = LargeOddFile() + "\n";
    ParsedHive h = ParseWineHive(text, "user.reg", 1);
    std::string joined;
    size_t largest = 0, count = 0;
    WriteWineHive(*h.root, Branch::User, "win64", [&](std::string_view piece) {
        joined += piece;
        largest = std::max(largest, piece.size());
        ++count;
    });
    EXPECT_TRUE(joined == SerializeWineHive(*h.root, Branch::User, "win64"));
    EXPECT_GT(count, 2u);
    // A piece ends after the key that crossed a megabyte: never much more than that.
    EXPECT_LT(largest, (size_t(1) << 20) + (size_t(4) << 20));
}

TEST(HiveStreaming, AFailedWriteOfAStreamedFileLeavesTheOldFileAndNoTemporary) {
    qvtest::TempDir tmp;
    const fs::path target = tmp.path() / "user.reg";
    qvtest::WriteFile(target, "old");
    ParsedHive h = ParseWineHive(LargeOddFile() + "\n", "user.reg", 1);
    qv::SetWriteFaultHook([](size_t written) { return written < (size_t(2) << 20); });
    EXPECT_THROW(qv::WriteFileAtomically(target, [&](qv::StagedFileWriter& w) {
                     WriteWineHive(*h.root, Branch::User, "win64", [&w](std::string_view piece) { w.Write(piece); });
                 }),
                 qv::FileWriteError);
    qv::SetWriteFaultHook(nullptr);
    EXPECT_EQ(qvtest::ReadFile(target), "old");
    size_t files = 0;
    for (const auto& e : fs::directory_iterator(tmp.path())) files += e.is_regular_file();
    EXPECT_EQ(files, 1u);
}
