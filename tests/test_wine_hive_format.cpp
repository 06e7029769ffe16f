// Reading and writing Wine's registry files, checked against files Wine itself wrote.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <random>

#include "platform/registry/reg_text.h"
#include "platform/registry/wine_hive_format.h"
#include "temp_dir.h"

using namespace qv::reg;
using qvtest::Fixtures;
using qvtest::ReadFile;

namespace {

Branch BranchOfFile(const std::string& name) {
    if (name == "system.reg") return Branch::Machine;
    if (name == "user.reg") return Branch::User;
    return Branch::UserDefault;
}

std::string RoundTrip(const std::string& text, const std::string& name, int64_t now, HiveLoadReport* report = nullptr) {
    ParsedHive h = ParseWineHive(text, name, now);
    if (report) *report = h.report;
    return SerializeWineHive(*h.root, BranchOfFile(name), h.arch.empty() ? "win64" : h.arch);
}

std::string Repeat(const std::string& s, int n) {
    std::string out;
    while (n-- > 0) out += s;
    return out;
}

void StampAll(Key& root, int64_t t) {
    std::vector<Key*> pending{&root};
    while (!pending.empty()) {
        Key* k = pending.back();
        pending.pop_back();
        k->modified = t;
        for (Key* c : k->Subkeys()) pending.push_back(c);
    }
}

int64_t ParseHexTime(const std::string& hex) { return static_cast<int64_t>(std::stoull(hex, nullptr, 16)); }

}  // namespace

TEST(WineHiveFormat, WineWrittenFilesRoundTripByteForByte) {
    for (const char* dir : {"fresh", "testprefix-files", "loader-tests/c2/out", "loader-tests/c9/out",
                            "loader-tests/c8/out"}) {
        for (const char* file : {"system.reg", "user.reg", "userdef.reg"}) {
            std::string text = ReadFile(Fixtures() / dir / file);
            ASSERT_FALSE(text.empty()) << dir << "/" << file;
            HiveLoadReport report;
            EXPECT_EQ(RoundTrip(text, file, 1, &report), text) << dir << "/" << file;
            EXPECT_FALSE(report.lossy) << dir << "/" << file;
            EXPECT_TRUE(report.messages.empty()) << dir << "/" << file;
        }
    }
}

TEST(WineHiveFormat, OddInputIsReadAsWineReadsIt) {
    // Unsorted sections, escapes of every kind, duplicate names, bad values, a link, a class,
    // garbage lines: Wine's own save of the same input is the expected result. The keys that
    // had no time got Wine's load time, which we pass as "now".
    // One deliberate difference: Wine gives the branch root its load time even when the file
    // names one ("[] 1600000000"); we keep the file's, so that our own saves read back exactly.
    std::string expected = ReadFile(Fixtures() / "loader-tests/c2/out/user.reg");
    const std::string wineRoot = "[] 1796703968\n#time=1dd86cc3f58d2a4\n";
    ASSERT_NE(expected.find(wineRoot), std::string::npos);
    expected.replace(expected.find(wineRoot), wineRoot.size(), "[] 1600000000\n#time=1d689c921a68000\n");
    const int64_t wineNow = ParseHexTime("1dd86cc3f58d2a4");
    HiveLoadReport report;
    EXPECT_EQ(RoundTrip(ReadFile(Fixtures() / "loader-tests/c2/in/user.reg"), "user.reg", wineNow, &report), expected);
    EXPECT_TRUE(report.lossy);

    // Every message Wine printed is reported, in the same order.
    std::istringstream wine(ReadFile(Fixtures() / "loader-tests/c2/wineserver-stderr.txt"));
    std::string line;
    size_t at = 0;
    while (std::getline(wine, line)) {
        if (line.rfind("user.reg:", 0) != 0) continue;
        while (at < report.messages.size() && report.messages[at] != line) ++at;
        EXPECT_LT(at, report.messages.size()) << "missing: " << line;
    }
}

TEST(WineHiveFormat, LimitsCrLfLinksAndSwallowedLinesMatchWine) {
    for (const char* c : {"c5", "c8", "c9"}) {
        std::string in = ReadFile(Fixtures() / "loader-tests" / c / "in/user.reg");
        std::string out = ReadFile(Fixtures() / "loader-tests" / c / "out/user.reg");
        // c9 writes a section below a link key: it lands under the link's target.
        LinkResolver resolve = [](Key* link) -> Key* {
            Key* root = link;
            while (root->Parent()) root = root->Parent();
            return root->GetOrAddSubkey(u"Software")->GetOrAddSubkey(u"Target");
        };
        ParsedHive h = ParseWineHive(in, "user.reg", 1, resolve);
        EXPECT_EQ(SerializeWineHive(*h.root, Branch::User, "win64"), out) << c;
    }
}

TEST(WineHiveFormat, RejectsBadHeadersAndReportsWhatItDrops) {
    for (const std::string& bad : {std::string(""), std::string("\xEF\xBB\xBFWINE REGISTRY Version 2\n"),
                                  std::string("WINE REGISTRY Version 2 \n"), std::string("garbage")}) {
        ParsedHive h = ParseWineHive(bad, "user.reg", 1);
        EXPECT_TRUE(h.report.rejected);
    }
    const std::string text =
        "WINE REGISTRY Version 2\n#arch=win64\n[A] 1\n\"bad\\xd800\"=\"\xff\"\n";  // invalid UTF-8 byte
    ParsedHive h = ParseWineHive(text, "user.reg", 1);
    EXPECT_FALSE(h.report.rejected);
    EXPECT_TRUE(h.report.lossy);
}

TEST(WineHiveFormat, EscapingKeepsEveryCodeUnitAndWrapsLikeWine) {
    std::shared_ptr<Key> tree = NewKeyTree();
    Key& root = *tree;
    std::u16string tricky = u"a\\b\"c[d]e\x01" u"7\x1b\xe9" u"A\xd83d\xde00\xdc00z\x7f\x00e9";
    Key* k = root.GetOrAddSubkey(u"K[1]\t\xe9");
    k->modified = kTicks1601To1970;
    std::vector<uint8_t> sz;
    for (char16_t c : tricky + u'\0') {
        sz.push_back(static_cast<uint8_t>(c & 0xff));
        sz.push_back(static_cast<uint8_t>(c >> 8));
    }
    k->SetValue(tricky, 1, sz);
    k->SetValue(u"bin", 3, std::vector<uint8_t>(100, 0xab));
    k->SetValue(u"odd", 0x12345, {1, 2, 3});
    k->SetValue(u"shortdword", 4, {1, 2});
    k->SetValue(u"unterminated", 1, {'a', 0, 'b', 0});
    k->SetValue(u"empty", 0, {});
    StampAll(root, kTicks1601To1970);
    std::string text = SerializeWineHive(root, Branch::User, "win64");
    EXPECT_NE(text.find("[K\\[1\\]\\t\\xe9] 0\n"), std::string::npos) << text;
    EXPECT_NE(text.find("\"bin\"=hex:" + Repeat("ab,", 23) + "\\\n  " + Repeat("ab,", 25) + "\\\n"),
              std::string::npos);
    EXPECT_NE(text.find("\"odd\"=hex(12345):01,02,03\n"), std::string::npos);
    EXPECT_NE(text.find("\"shortdword\"=hex(4):01,02\n"), std::string::npos);
    EXPECT_NE(text.find("\"unterminated\"=hex(1):61,00,62,00\n"), std::string::npos);
    EXPECT_NE(text.find("\"empty\"=hex(0):\n"), std::string::npos);

    ParsedHive back = ParseWineHive(text, "user.reg", 1);
    EXPECT_FALSE(back.report.lossy);
    const Key* k2 = back.root->FindSubkey(u"k[1]\t\xc9");
    ASSERT_NE(k2, nullptr);
    const Value* v = k2->FindValue(tricky);
    ASSERT_NE(v, nullptr);
    EXPECT_TRUE(SameBytes(v->data, sz));
    EXPECT_EQ(SerializeWineHive(*back.root, Branch::User, "win64"), text);
}

TEST(WineHiveFormat, DeepTreesAndLargeDataNeitherCrashNorLoseAnything) {
    std::shared_ptr<Key> tree = NewKeyTree();
    Key& root = *tree;
    Key* k = &root;
    for (int i = 0; i < 5000; ++i) k = k->GetOrAddSubkey(u"level" + std::u16string(1, u'a' + i % 26));
    k->SetValue(std::u16string(kMaxValueNameUnits, u'n'), 3, std::vector<uint8_t>(65536, 7));
    std::u16string longName(kMaxKeyNameUnits, u'x');
    root.GetOrAddSubkey(longName)->SetValue(u"", 1, {0, 0});
    StampAll(root, kTicks1601To1970 + 1234567 * kTicksPerSecond);
    std::string text = SerializeWineHive(root, Branch::Machine, "win64");
    ParsedHive back = ParseWineHive(text, "system.reg", 1);
    EXPECT_FALSE(back.report.lossy);
    EXPECT_EQ(SerializeWineHive(*back.root, Branch::Machine, "win64"), text);
}

TEST(WineHiveFormat, NameOrderFollowsWine) {
    // The order Wine wrote in the test prefix: '_' before letters, non-ASCII after 'z'.
    std::vector<std::u16string> names = {u"A", u"b", u"B1", u"B_underscore", u"Ba", u"TrulyEmpty", u"z", u"\xc4"};
    for (size_t i = 0; i + 1 < names.size(); ++i) EXPECT_LT(CompareNames(names[i], names[i + 1]), 0) << i;
    EXPECT_EQ(CompareNames(u"\xc4", u"\xe4"), 0);
}

TEST(WineHiveFormat, TruncatedAndMangledFilesAreReportedNeverCrash) {
    const std::string text = ReadFile(Fixtures() / "testprefix-files/user.reg");
    std::mt19937 rng(7);
    for (int i = 0; i < 300; ++i) {
        size_t cut = 30 + rng() % (text.size() - 30);
        ParsedHive h = ParseWineHive(text.substr(0, cut), "user.reg", 1);
        EXPECT_TRUE(h.report.lossy || text[cut - 1] == '\n') << cut;
    }
    for (int i = 0; i < 300; ++i) {
        std::string mangled = text;
        for (int j = 0; j < 20; ++j) mangled[24 + rng() % (mangled.size() - 24)] = static_cast<char>(rng());
        ParsedHive h = ParseWineHive(mangled, "user.reg", 1);
        (void)SerializeWineHive(*h.root, Branch::User, "win64");
    }
}

namespace {

// "SymbolicLinkValue"=hex(6):... naming `target` (a path below the machine branch).
std::string LinkValueLine(const std::string& target) {
    std::string line = "\"SymbolicLinkValue\"=hex(6):";
    const std::string full = "\\REGISTRY\\Machine\\" + target;
    for (size_t i = 0; i < full.size(); ++i) {
        char buf[8];
        std::snprintf(buf, sizeof buf, "%s%02x,00", i ? "," : "", static_cast<unsigned char>(full[i]));
        line += buf;
    }
    return line + "\n";
}

// Resolves links inside the machine branch, as the registry store does while loading.
Key* ResolveInMachine(Key* link) {
    const Value* v = link->FindValue(u"SymbolicLinkValue");
    if (!v || v->type != 6) return nullptr;
    std::u16string target(v->data.size() / 2, u'\0');
    for (size_t i = 0; i < target.size(); ++i) target[i] = static_cast<char16_t>(v->data[2 * i] | (v->data[2 * i + 1] << 8));
    const std::u16string base = u"\\REGISTRY\\Machine\\";
    if (target.compare(0, base.size(), base) != 0) return nullptr;
    Key* k = link;
    while (k->Parent()) k = k->Parent();
    std::u16string rest = target.substr(base.size());
    for (size_t i = 0; i <= rest.size();) {
        size_t j = std::min(rest.find(u'\\', i), rest.size());
        if (k->isLink) return nullptr;
        k = k->GetOrAddSubkey(std::u16string_view(rest).substr(i, j - i));
        i = j + 1;
    }
    return k;
}

const std::string kMachineHead = "WINE REGISTRY Version 2\n;; All keys relative to REGISTRY\\\\Machine\n\n#arch=win64\n";

}  // namespace

TEST(WineHiveFormat, TimesOfEveryBitPatternRoundTripWithWinesSeconds) {
    // FILETIMEs of 2^63 and above are negative as signed numbers; Wine's seconds field is
    // their wrapped difference to 1970, truncated to 32 bits.
    const std::pair<const char*, const char*> cases[] = {
        {"8000000000000000", "159663333"}, {"ffffffffffffffff", "1240428288"}, {"7fffffffffffffff", "159663333"},
        {"000000001", "1240428289"}};
    for (const auto& [hex, seconds] : cases) {
        const std::string text = kMachineHead + "\n[Key] " + seconds + "\n#time=" + hex + "\n\"v\"=\"x\"\n";
        ParsedHive h = ParseWineHive(text, "system.reg", 1);
        EXPECT_EQ(h.root->FindSubkey(u"Key")->modified, ParseHexTime(hex)) << hex;
        EXPECT_EQ(SerializeWineHive(*h.root, Branch::Machine, "win64"), text) << hex;
    }
}

TEST(WineHiveFormat, KeysWrittenBelowALinkBeforeItsLinkLineMoveToItsTarget) {
    // The subkeys come first, so they are made before the key is known to be a link. Wine's
    // next load of its own save would put them under the target: they go there at once.
    const std::string text = kMachineHead +
                             "\n[A\\\\Link\\\\Sub\\\\Deeper] 5\n#time=5\n\"d\"=\"deep\"\n"
                             "\n[A\\\\Link\\\\Sub] 5\n#time=5\n\"v\"=\"below\"\n"
                             "\n[A\\\\Link] 6\n#time=6\n#link\n" + LinkValueLine("B") +
                             "\n[A\\\\Link\\\\Later] 7\n#time=7\n\"x\"=dword:00000001\n"
                             "\n[B\\\\Sub] 8\n#time=8\n\"w\"=\"target's own\"\n";
    ParsedHive h = ParseWineHive(text, "system.reg", 1, ResolveInMachine);
    EXPECT_FALSE(h.report.lossy);
    ASSERT_EQ(h.report.messages.size(), 1u);
    EXPECT_NE(h.report.messages[0].find("A\\Link"), std::string::npos) << h.report.messages[0];
    const Key* link = h.root->FindSubkey(u"A")->FindSubkey(u"Link");
    EXPECT_TRUE(link->isLink);
    EXPECT_TRUE(link->Subkeys().empty());
    const Key* b = h.root->FindSubkey(u"B");
    ASSERT_NE(b, nullptr);
    EXPECT_NE(b->FindSubkey(u"Later"), nullptr);
    const Key* sub = b->FindSubkey(u"Sub");
    ASSERT_NE(sub, nullptr);
    EXPECT_NE(sub->FindValue(u"v"), nullptr);
    EXPECT_NE(sub->FindValue(u"w"), nullptr);
    ASSERT_NE(sub->FindSubkey(u"Deeper"), nullptr);
    EXPECT_EQ(sub->FindSubkey(u"Deeper")->modified, 5);

    // Our save reads back to the same save.
    const std::string saved = SerializeWineHive(*h.root, Branch::Machine, "win64");
    ParsedHive again = ParseWineHive(saved, "system.reg", 1, ResolveInMachine);
    EXPECT_TRUE(again.report.messages.empty());
    EXPECT_EQ(SerializeWineHive(*again.root, Branch::Machine, "win64"), saved);
}

TEST(WineHiveFormat, KeysBelowALinkThatLeadsNowhereAreDroppedAndReported) {
    // A value the target already holds is replaced: reported as a loss too.
    const std::string clash = kMachineHead + "\n[B\\\\Sub] 1\n\"v\"=\"target\"\n\n[L\\\\Sub] 1\n\"v\"=\"moved\"\n" +
                              "\n[L] 1\n#link\n" + LinkValueLine("B");
    ParsedHive h = ParseWineHive(clash, "system.reg", 1, ResolveInMachine);
    EXPECT_TRUE(h.report.lossy);
    EXPECT_TRUE(h.root->FindSubkey(u"L")->Subkeys().empty());

    for (const std::string& link : {std::string("\n[L] 1\n#link\n"),  // no target value at all
                                    "\n[L] 1\n#link\n" + LinkValueLine("L\\Inside")}) {  // a target below itself
        const std::string text = kMachineHead + "\n[L\\\\Sub] 1\n\"v\"=\"lost\"\n" + link;
        for (bool withResolver : {true, false}) {
            ParsedHive d = ParseWineHive(text, "system.reg", 1, withResolver ? LinkResolver(ResolveInMachine) : LinkResolver());
            EXPECT_TRUE(d.report.lossy);
            EXPECT_TRUE(d.root->FindSubkey(u"L")->Subkeys().empty());
            const std::string saved = SerializeWineHive(*d.root, Branch::Machine, "win64");
            EXPECT_EQ(saved.find("Sub"), std::string::npos);
            EXPECT_EQ(SerializeWineHive(*ParseWineHive(saved, "system.reg", 1).root, Branch::Machine, "win64"), saved);
        }
    }
}

TEST(WineHiveFormat, SectionsBelowAChainOfLinksLandAtItsEnd) {
    const std::string text = kMachineHead + "\n[A] 1\n#link\n" + LinkValueLine("B") + "\n[B] 1\n#link\n" +
                             LinkValueLine("C") + "\n[A\\\\Sub] 1\n\"v\"=\"x\"\n" +
                             "\n[Self] 1\n#link\n" + LinkValueLine("Self") + "\n[Self\\\\Kept] 1\n" +
                             "\n[Loop1] 1\n#link\n" + LinkValueLine("Loop2") + "\n[Loop2] 1\n#link\n" +
                             LinkValueLine("Loop1") + "\n[Loop1\\\\Lost] 1\n";
    ParsedHive h = ParseWineHive(text, "system.reg", 1, ResolveInMachine);
    ASSERT_NE(h.root->FindSubkey(u"C"), nullptr);
    EXPECT_NE(h.root->FindSubkey(u"C")->FindSubkey(u"Sub"), nullptr);
    EXPECT_TRUE(h.root->FindSubkey(u"B")->Subkeys().empty());
    // A link to itself keeps what is written below it; a loop of links keeps nothing.
    EXPECT_NE(h.root->FindSubkey(u"Self")->FindSubkey(u"Kept"), nullptr);
    EXPECT_TRUE(h.report.lossy);
    const std::string saved = SerializeWineHive(*h.root, Branch::Machine, "win64");
    EXPECT_EQ(saved.find("Lost"), std::string::npos);
    ParsedHive again = ParseWineHive(saved, "system.reg", 1, ResolveInMachine);
    EXPECT_TRUE(again.report.messages.empty());
    EXPECT_EQ(SerializeWineHive(*again.root, Branch::Machine, "win64"), saved);
}

TEST(WineHiveFormat, ARejectedFileGivesAnEmptyBranchDatedNow) {
    ParsedHive h = ParseWineHive("", "system.reg", 12345);
    EXPECT_TRUE(h.report.rejected);
    EXPECT_EQ(h.root->modified, 12345);
    const std::string saved = SerializeWineHive(*h.root, Branch::Machine, "win64");
    EXPECT_EQ(SerializeWineHive(*ParseWineHive(saved, "system.reg", 1).root, Branch::Machine, "win64"), saved);
}
