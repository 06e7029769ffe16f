// The file side of the Win32 stand-in against a whole fresh Wine prefix: its environment,
// its special folders, and every path its registry holds.
#include <gtest/gtest.h>
#include <shlobj.h>
#include <windows.h>

#include <algorithm>
#include <cctype>
#include <iostream>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "platform/prefix/prefix.h"
#include "platform/win32/windows_environment.h"
#include "temp_dir.h"
#include "vendor/core/registry_object.h"
#include "vendor/core/system32.h"

namespace fs = std::filesystem;

namespace {

class FreshPrefixFilesTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        temp_ = new qvtest::TempDir();
        root_ = qvtest::UnpackFreshPrefix(temp_->path());
        ASSERT_FALSE(root_.empty());
        // Wine links the profile's Desktop, Documents, ... to the home folder; make them
        // folders of their own so that nothing here reaches outside the prefix.
        std::vector<fs::path> links;
        for (auto it = fs::recursive_directory_iterator(root_ / "drive_c" / "users");
             it != fs::recursive_directory_iterator(); ++it)
            if (it->is_symlink() && fs::read_symlink(it->path()).is_absolute()) links.push_back(it->path());
        for (const fs::path& link : links) {
            fs::remove(link);
            fs::create_directory(link);
        }
    }
    static void TearDownTestSuite() {
        delete temp_;
        temp_ = nullptr;
    }
    void SetUp() override { qv::SetActivePrefix(std::make_shared<qv::Prefix>(root_)); }
    void TearDown() override { qv::SetActivePrefix(nullptr); }

    static std::string SpecialFolder(int csidl) {
        char buffer[MAX_PATH];
        if (!SHGetSpecialFolderPathA(nullptr, buffer, csidl, FALSE)) return "<failed: " + std::string(buffer) + ">";
        return buffer;
    }

    static qvtest::TempDir* temp_;
    static fs::path root_;
};

qvtest::TempDir* FreshPrefixFilesTest::temp_ = nullptr;
fs::path FreshPrefixFilesTest::root_;

TEST_F(FreshPrefixFilesTest, EnvironmentIsTheOneWineGivesItsPrograms) {
    qv::WindowsEnvironment environment = qv::ReadWindowsEnvironment();
    const std::map<std::string, std::string> expected = {
        {"SystemRoot", "C:\\windows"},
        {"windir", "C:\\windows"},
        {"SystemDrive", "C:"},
        {"ProgramFiles", "C:\\Program Files"},
        {"ProgramFiles(x86)", "C:\\Program Files (x86)"},
        {"CommonProgramFiles", "C:\\Program Files\\Common Files"},
        {"CommonProgramFiles(x86)", "C:\\Program Files (x86)\\Common Files"},
        {"ProgramData", "C:\\ProgramData"},
        {"ALLUSERSPROFILE", "C:\\ProgramData"},
        {"PUBLIC", "C:\\users\\Public"},
        {"USERPROFILE", "C:\\users\\root"},
        {"USERNAME", "root"},
        {"APPDATA", "C:\\users\\root\\AppData\\Roaming"},
        {"LOCALAPPDATA", "C:\\users\\root\\AppData\\Local"},
        {"TEMP", "C:\\users\\root\\Temp"},
        {"TMP", "C:\\users\\root\\Temp"},
        {"ComSpec", "C:\\windows\\system32\\cmd.exe"},
        {"PATHEXT", ".com;.exe;.bat;.cmd;.vbs;.vbe;.js;.jse;.wsf;.wsh"},
    };
    for (const auto& [name, value] : expected) EXPECT_EQ(environment.Get(name).value_or("<unset>"), value) << name;
    EXPECT_EQ(environment.Get("path").value_or("").rfind("C:\\windows\\system32;C:\\windows;", 0), 0u);
}

TEST_F(FreshPrefixFilesTest, SpecialFoldersComeFromTheUsersProfile) {
    EXPECT_EQ(SpecialFolder(CSIDL_PROFILE), "C:\\users\\root");
    EXPECT_EQ(SpecialFolder(CSIDL_DESKTOP), "C:\\users\\root\\Desktop");
    EXPECT_EQ(SpecialFolder(CSIDL_DESKTOPDIRECTORY), "C:\\users\\root\\Desktop");
    EXPECT_EQ(SpecialFolder(CSIDL_PERSONAL), "C:\\users\\root\\Documents");
    EXPECT_EQ(SpecialFolder(CSIDL_APPDATA), "C:\\users\\root\\AppData\\Roaming");
    EXPECT_EQ(SpecialFolder(CSIDL_LOCAL_APPDATA), "C:\\users\\root\\AppData\\Local");
    EXPECT_EQ(SpecialFolder(CSIDL_STARTMENU), "C:\\users\\root\\AppData\\Roaming\\Microsoft\\Windows\\Start Menu");
    EXPECT_EQ(SpecialFolder(CSIDL_STARTUP),
              "C:\\users\\root\\AppData\\Roaming\\Microsoft\\Windows\\Start Menu\\Programs\\StartUp");
    EXPECT_EQ(SpecialFolder(CSIDL_COOKIES), "C:\\users\\root\\AppData\\Local\\Microsoft\\Windows\\INetCookies");
    EXPECT_EQ(SpecialFolder(CSIDL_COMMON_APPDATA), "C:\\ProgramData");
    EXPECT_EQ(SpecialFolder(CSIDL_COMMON_STARTMENU), "C:\\ProgramData\\Microsoft\\Windows\\Start Menu");
    EXPECT_EQ(SpecialFolder(CSIDL_COMMON_DESKTOPDIRECTORY), "C:\\users\\Public\\Desktop");
    EXPECT_EQ(SpecialFolder(CSIDL_WINDOWS), "C:\\windows");
    EXPECT_EQ(SpecialFolder(CSIDL_SYSTEM), "C:\\windows\\system32");
    EXPECT_EQ(SpecialFolder(CSIDL_PROGRAM_FILES), "C:\\Program Files");
    EXPECT_EQ(SpecialFolder(CSIDL_FONTS), "C:\\windows\\Fonts");
    std::string profile;
    EXPECT_EQ(CSystem32::GetSpecialFolder(CSIDL_PROFILE, profile), 1);
    EXPECT_EQ(profile, "C:\\users\\root\\");
}

TEST_F(FreshPrefixFilesTest, MissingSpecialFoldersAreCreatedOnlyOnRequest) {
    fs::path history = root_ / "drive_c/users/root/AppData/Local/Microsoft/Windows/History";
    fs::remove_all(history);
    char buffer[MAX_PATH];
    EXPECT_FALSE(SHGetSpecialFolderPathA(nullptr, buffer, CSIDL_HISTORY, FALSE));
    EXPECT_STREQ(buffer, "C:\\users\\root\\AppData\\Local\\Microsoft\\Windows\\History");
    EXPECT_FALSE(fs::exists(history));
    EXPECT_TRUE(SHGetSpecialFolderPathA(nullptr, buffer, CSIDL_HISTORY, TRUE));
    EXPECT_TRUE(fs::is_directory(history));
}

// ---- every path of the registry ---------------------------------------------------------

struct RegistryString {
    std::string where;
    std::string text;
};

void CollectStrings(HKEY key, const std::string& where, int depth, std::vector<RegistryString>& out) {
    std::vector<char> name(32768);
    std::vector<BYTE> data(1 << 16);
    for (DWORD index = 0;; ++index) {
        DWORD nameSize = static_cast<DWORD>(name.size());
        DWORD dataSize = static_cast<DWORD>(data.size());
        DWORD type = 0;
        LONG status = RegEnumValueA(key, index, name.data(), &nameSize, nullptr, &type, data.data(), &dataSize);
        if (status == ERROR_NO_MORE_ITEMS) break;
        if (status != ERROR_SUCCESS || (type != REG_SZ && type != REG_EXPAND_SZ)) continue;
        std::string text(reinterpret_cast<const char*>(data.data()), dataSize);
        text = text.substr(0, text.find('\0'));
        out.push_back({where + " [" + std::string(name.data(), nameSize) + "]", text});
    }
    if (depth > 40) return;
    for (DWORD index = 0;; ++index) {
        DWORD nameSize = static_cast<DWORD>(name.size());
        LONG status = RegEnumKeyExA(key, index, name.data(), &nameSize, nullptr, nullptr, nullptr, nullptr);
        if (status == ERROR_NO_MORE_ITEMS) break;
        if (status != ERROR_SUCCESS) continue;
        std::string sub(name.data(), nameSize);
        HKEY child = nullptr;
        if (RegOpenKeyExA(key, sub.c_str(), 0, KEY_READ, &child) != ERROR_SUCCESS) continue;
        CollectStrings(child, where + "\\" + sub, depth + 1, out);
        RegCloseKey(child);
    }
}

std::string Lower(std::string text) {
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

// Strings that look like a path or a command: a drive, an environment reference, a quote,
// a separator at the start, or a file extension that programs and libraries have.
bool LooksLikePath(const std::string& text) {
    if (text.empty()) return false;
    if (text.find(":\\") != std::string::npos || text[0] == '%' || text[0] == '"' || text[0] == '\\' ||
        text[0] == '/' || text[0] == '@')
        return true;
    std::string lower = Lower(text);
    for (const char* extension : {".exe", ".dll", ".sys", ".ocx", ".cpl", ".drv", ".tlb", ".ax", ".acm", ".ttf",
                                  ".fon", ".scr", ".com", ".msstyles", ".chm", ".hlp"}) {
        for (size_t at = lower.find(extension); at != std::string::npos; at = lower.find(extension, at + 1)) {
            size_t end = at + std::string(extension).size();
            if (end == lower.size() || std::string(" ,#\"\\;").find(lower[end]) != std::string::npos) return true;
        }
    }
    return false;
}

// An independent, plain reading of a registry string: the Unix file it names, when that
// can be told for sure with the fixture's known layout. Strings it cannot read are left out.
class Oracle {
public:
    explicit Oracle(fs::path root) : root_(std::move(root)) {}

    // True when the string certainly names a file or folder that exists.
    bool CertainlyExists(std::string text) const {
        text = Expand(text);
        if (text.empty() || text.find('%') != std::string::npos) return false;
        if (text[0] == '@') text = text.substr(1);
        std::vector<std::string> candidates;
        if (text[0] == '"') {
            candidates.push_back(text.substr(1, text.find('"', 1) - 1));
        } else {
            // Every start of the text that ends before a blank, comma or '#', and the whole text.
            for (size_t i = 0; i < text.size(); ++i)
                if (text[i] == ' ' || text[i] == ',' || text[i] == '#') candidates.push_back(text.substr(0, i));
            candidates.push_back(text);
        }
        for (const std::string& candidate : candidates)
            if (Exists(candidate)) return true;
        return false;
    }

private:
    std::string Expand(const std::string& text) const {
        static const std::map<std::string, std::string> variables = {
            {"systemroot", "C:\\windows"},        {"windir", "C:\\windows"},
            {"programfiles", "C:\\Program Files"}, {"programdata", "C:\\ProgramData"},
            {"public", "C:\\users\\Public"},      {"userprofile", "C:\\users\\root"},
            {"systemdrive", "C:"},
        };
        std::string result;
        for (size_t i = 0; i < text.size(); ++i) {
            size_t close = text[i] == '%' ? text.find('%', i + 1) : std::string::npos;
            auto it = close == std::string::npos ? variables.end() : variables.find(Lower(text.substr(i + 1, close - i - 1)));
            if (it == variables.end()) {
                result += text[i];
                continue;
            }
            result += it->second;
            i = close;
        }
        return result;
    }

    // Follows a Windows path down from a drive folder, comparing names in lower case.
    std::optional<fs::path> Find(fs::path base, const std::string& rest) const {
        std::string component;
        std::vector<std::string> parts;
        for (char c : rest + "\\") {
            if (c == '\\') {
                if (!component.empty()) parts.push_back(component);
                component.clear();
            } else {
                component += c;
            }
        }
        for (const std::string& part : parts) {
            std::error_code error;
            if (!fs::is_directory(base, error)) return std::nullopt;
            std::optional<fs::path> match;
            for (const auto& entry : fs::directory_iterator(base, error))
                if (Lower(entry.path().filename().string()) == Lower(part)) match = entry.path();
            if (!match) return std::nullopt;
            base = *match;
        }
        return base;
    }

    bool Exists(const std::string& candidate) const {
        if (candidate.size() >= 3 && candidate[1] == ':' && candidate[2] == '\\') {
            std::string drive = Lower(candidate.substr(0, 2));
            if (drive != "c:" && drive != "z:") return false;
            fs::path driveFolder = drive == "c:" ? root_ / "drive_c" : fs::path("/");
            auto found = Find(driveFolder, candidate.substr(3));
            if (!found && Lower(candidate).rfind("c:\\windows\\system32\\", 0) == 0)
                found = Find(root_ / "drive_c/windows/syswow64", candidate.substr(20));
            return found && fs::exists(*found);
        }
        if (candidate.find_first_of("\\/:") != std::string::npos) return false;
        // A bare name, in the folders Windows searches, ".dll" or ".exe" added when it has no dot.
        std::vector<std::string> names{candidate};
        if (candidate.find('.') == std::string::npos) names = {candidate + ".dll", candidate + ".exe"};
        for (const char* folder : {"windows/system32", "windows"})
            for (const std::string& name : names)
                if (auto found = Find(root_ / "drive_c" / folder, name); found && fs::is_regular_file(*found))
                    return true;
        return false;
    }

    fs::path root_;
};

TEST_F(FreshPrefixFilesTest, EveryExistingFileTheRegistryNamesIsVerified) {
    std::vector<RegistryString> all;
    CollectStrings(HKEY_LOCAL_MACHINE, "HKLM", 0, all);
    CollectStrings(HKEY_CURRENT_USER, "HKCU", 0, all);
    HKEY defaultUser = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_USERS, ".Default", 0, KEY_READ, &defaultUser), ERROR_SUCCESS);
    CollectStrings(defaultUser, "HKU\\.Default", 0, all);
    RegCloseKey(defaultUser);
    ASSERT_GT(all.size(), 10000u);

    Oracle oracle(root_);
    std::map<std::string, std::string> checked;  // text -> first place seen
    for (const RegistryString& value : all)
        if (LooksLikePath(value.text)) checked.emplace(value.text, value.where);

    size_t certain = 0;
    std::vector<std::string> reportedMissing;
    for (const auto& [text, where] : checked) {
        bool exists = oracle.CertainlyExists(text);
        bool verified = CRegistryObject::FileVerified(text) != 0;
        if (exists) {
            ++certain;
            EXPECT_TRUE(verified) << "an existing file called missing: " << text << "   (" << where << ")";
        }
        if (!verified) reportedMissing.push_back(text + "   (" + where + ")");
    }
    std::cout << "registry strings: " << all.size() << ", path-like strings checked: " << checked.size()
              << ", certainly existing: " << certain << ", reported missing: " << reportedMissing.size()
              << "\n";
    for (const std::string& line : reportedMissing) std::cout << "  reported missing: " << line << "\n";
    EXPECT_GT(certain, 700u);
}

}  // namespace
