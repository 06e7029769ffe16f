#include <gtest/gtest.h>
#include <windows.h>

#include <cstring>
#include <filesystem>
#include <string>

#include "platform/win32/command_line.h"
#include "platform/win32/environment_expansion.h"
#include "platform/win32/message_box.h"
#include "small_prefix.h"

namespace fs = std::filesystem;

namespace {

class ProcessApiTest : public qvtest::SmallPrefixTest {};

std::string ExpectedModulePath() {
    std::string text = "Z:";
    for (char c : fs::read_symlink("/proc/self/exe").string()) text += c == '/' ? '\\' : c;
    return text;
}

TEST_F(ProcessApiTest, ModuleFileNameIsTheProgramAsAWindowsPathWithWindowsTruncation) {
    const std::string expected = ExpectedModulePath();
    char buffer[1024];
    ASSERT_EQ(GetModuleFileNameA(nullptr, buffer, sizeof buffer), expected.size());
    EXPECT_EQ(std::string(buffer), expected);

    std::memset(buffer, '#', sizeof buffer);
    EXPECT_EQ(GetModuleFileNameA(nullptr, buffer, 6), 6u);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    EXPECT_STREQ(buffer, expected.substr(0, 5).c_str());
    EXPECT_EQ(GetModuleFileNameA(nullptr, buffer, 0), 0u);
}

TEST_F(ProcessApiTest, CommandLineQuotesTheProgramAndArgumentsWithBlanks) {
    std::vector<std::string> saved = qv::CommandLineArgs();
    std::vector<std::string> args = {"quorvane", "/startup", "two words", "say \"hi\"", "C:\\dir\\"};
    std::vector<char*> argv;
    for (std::string& arg : args) argv.push_back(arg.data());
    qv::SetCommandLineArgs(static_cast<int>(argv.size()), argv.data());
    std::string line = GetCommandLineA();
    EXPECT_EQ(line, "\"" + ExpectedModulePath() + "\" /startup \"two words\" \"say \\\"hi\\\"\" C:\\dir\\");
    EXPECT_GT(line.find("/startup"), 0u);
    // The pointer stays valid and unchanged while the arguments do.
    EXPECT_EQ(GetCommandLineA(), GetCommandLineA());

    EXPECT_EQ(qv::QuoteCommandLineArgument("a b\\"), "\"a b\\\\\"");
    EXPECT_EQ(qv::QuoteCommandLineArgument(""), "\"\"");
    EXPECT_EQ(qv::QuoteCommandLineArgument("a\\\\\"b"), "\"a\\\\\\\\\\\"b\"");

    std::vector<char*> savedArgv;
    for (std::string& arg : saved) savedArgv.push_back(arg.data());
    qv::SetCommandLineArgs(static_cast<int>(savedArgv.size()), savedArgv.data());
}

TEST_F(ProcessApiTest, ExpandsKnownVariablesAndKeepsUnknownOnesAsTyped) {
    char buffer[MAX_PATH];
    DWORD size = ExpandEnvironmentStringsA("%SystemRoot%\\system32\\%UNKNOWN%x%windir%;100%", buffer, MAX_PATH);
    EXPECT_STREQ(buffer, "C:\\windows\\system32\\%UNKNOWN%xC:\\windows;100%");
    EXPECT_EQ(size, std::strlen(buffer) + 1);
    EXPECT_EQ(ExpandEnvironmentStringsA("%systemroot%", nullptr, 0), 11u);
    std::strcpy(buffer, "keep");
    EXPECT_EQ(ExpandEnvironmentStringsA("%SYSTEMROOT%", buffer, 5), 11u);
    EXPECT_STREQ(buffer, "keep");
    // Without a profile in the registry, the profile is the prefix's one user folder.
    ExpandEnvironmentStringsA("%USERPROFILE%|%APPDATA%|%ProgramFiles%", buffer, MAX_PATH);
    EXPECT_STREQ(buffer, "C:\\users\\tester|C:\\users\\tester\\AppData\\Roaming|C:\\Program Files");

    qv::WindowsEnvironment environment;
    environment.Set("A", "1");
    EXPECT_EQ(qv::ExpandEnvironmentText("%B%A%", environment), "%B1");
    EXPECT_EQ(qv::ExpandEnvironmentText("%%A%%", environment), "%1%");
}

TEST(MessageBox, GoesThroughTheInstalledHandlerAndAnswersSafelyWithoutOne) {
    std::string seen;
    qv::MessageBoxHandler previous = qv::SetMessageBoxHandler(
        [&](const std::string& text, const std::string& caption, unsigned type) {
            seen = caption + "|" + text + "|" + std::to_string(type);
            return IDYES;
        });
    EXPECT_EQ(MessageBoxA(nullptr, "Proceed?", "Confirmation", MB_YESNO | MB_ICONINFORMATION), IDYES);
    EXPECT_EQ(seen, "Confirmation|Proceed?|" + std::to_string(MB_YESNO | MB_ICONINFORMATION));
    qv::SetMessageBoxHandler(previous);

    testing::internal::CaptureStderr();
    EXPECT_EQ(qv::DefaultMessageBoxHandler("Done", "Info", MB_OK), IDOK);
    EXPECT_EQ(qv::DefaultMessageBoxHandler("Fix?", "Confirm", MB_YESNO), IDNO);
    EXPECT_EQ(qv::DefaultMessageBoxHandler("Go?", "Confirm", MB_OKCANCEL), IDCANCEL);
    std::string printed = testing::internal::GetCapturedStderr();
    EXPECT_NE(printed.find("Info: Done"), std::string::npos);
    EXPECT_NE(printed.find("Confirm: Fix?"), std::string::npos);
}

}  // namespace
