// The two registry views of a 64-bit prefix: the 32-bit view's keys (SOFTWARE\Wow6432Node)
// are scanned when they are keys of their own and walked once when they are links; each
// view's paths are judged as its programs see the disk; the repair never deletes a container
// of either view; Quick Boot switches 32-bit Run values off and back where they were.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>

#include "platform/prefix/prefix.h"
#include "platform/registry/reg_text.h"
#include "platform/registry/registry_store.h"
#include "platform/win32/file_system_view.h"
#include "quickboot/startup_item_manager.h"
#include "recording_sinks.h"
#include "results/scan_repair.h"
#include "run_key_values.h"
#include "scan/machine_key_views.h"
#include "scan/scan_engine.h"
#include "small_prefix.h"
#include "vendor/core/registry_checkers.h"
#include "vendor/core/registry_object.h"
#include "vendor/core/system32.h"

using namespace qvtest;

namespace {

const std::string kCV = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\";
const std::string kCV32 = "SOFTWARE\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\";
const HKEY LM = HKEY_LOCAL_MACHINE, CU = HKEY_CURRENT_USER;


class RegistryViewsTest : public SmallPrefixTest {
protected:
    void SetUp() override {
        SmallPrefixTest::SetUp();
        MakeFolder("windows/syswow64");
        MakeFolder("Program Files/Common Files");
        MakeFolder("Program Files (x86)/Common Files");
        Set(LM, kCV, "ProgramFilesDir", "C:\\Program Files");
        Set(LM, kCV, "ProgramFilesDir (x86)", "C:\\Program Files (x86)");
        Set(LM, kCV, "CommonFilesDir", "C:\\Program Files\\Common Files");
        Set(LM, kCV, "CommonFilesDir (x86)", "C:\\Program Files (x86)\\Common Files");
        engine.PrepareStart();
    }
    static void Set(HKEY root, const std::string& key, const std::string& name, const std::string& value) {
        ASSERT_TRUE(CSystem32::SetRegistryValue(key, name, value, root)) << key << " " << name;
    }
    // Makes HKLM\<path> a link to HKLM\<target>, as Wine links 32-bit keys to 64-bit ones.
    static void Link(const std::string& path, const std::string& target) {
        qv::RegistryStore& store = qv::ActivePrefix()->Registry();
        auto lock = store.WriteLock();
        long error = 0;
        qv::reg::Key* key = store.Create(qv::RegRoot::LocalMachine, qv::reg::ToUtf16(path), nullptr, &error);
        ASSERT_NE(key, nullptr);
        key->isLink = true;
        std::vector<uint8_t> bytes = Utf16Bytes("\\Registry\\Machine\\" + target, false);
        ASSERT_EQ(store.SetValue(key, u"SymbolicLinkValue", REG_LINK, bytes), 0);
        ASSERT_EQ(store.Commit(), 0);
    }
    std::vector<ScanFinding> Found(const std::string& problem) {
        std::vector<ScanFinding> out;
        for (const ScanFinding& f : rows.rows)
            if (f.problem == problem) out.push_back(f);
        std::sort(out.begin(), out.end(), [](const ScanFinding& a, const ScanFinding& b) {
            return std::tie(a.key, a.description) < std::tie(b.key, b.description);
        });
        return out;
    }
    RecordedRows rows;
    RecordedStatuses quiet;
    CScanEngine engine{rows, quiet};
};

}  // namespace

TEST(FileSystemView, WineRedirectsA32BitProgramsSystemFolder) {
    auto redirect = [](const std::string& path) {
        std::optional<qv::WindowsPath> full = qv::ResolveWindowsPath(path);
        std::optional<qv::WindowsPath> out = qv::RedirectFor32BitProgram(*full);
        return out ? out->ToString() : std::string("unchanged");
    };
    EXPECT_EQ(redirect("C:\\Windows\\System32\\msvcrt.dll"), "C:\\Windows\\syswow64\\msvcrt.dll");
    EXPECT_EQ(redirect("c:\\windows\\system32"), "C:\\windows\\syswow64");
    EXPECT_EQ(redirect("C:\\windows\\sysnative\\cmd.exe"), "C:\\windows\\system32\\cmd.exe");
    EXPECT_EQ(redirect("C:\\windows\\regedit.exe"), "C:\\windows\\syswow64\\regedit.exe");
    // Folders both kinds of program share.
    EXPECT_EQ(redirect("C:\\windows\\system32\\drivers\\etc\\hosts"), "unchanged");
    EXPECT_EQ(redirect("C:\\windows\\system32\\spool\\drivers\\x.dll"), "unchanged");
    EXPECT_EQ(redirect("C:\\windows\\system32\\catroot2\\x"), "unchanged");
    EXPECT_EQ(redirect("C:\\windows\\system32\\drivers\\x.sys"), "C:\\windows\\syswow64\\drivers\\x.sys");
    EXPECT_EQ(redirect("D:\\windows\\system32\\x.dll"), "unchanged");
    EXPECT_EQ(redirect("C:\\windows\\notepad.exe"), "unchanged");
}

TEST_F(RegistryViewsTest, EachViewsPathsAreJudgedAsItsProgramsSeeTheDisk) {
    MakeFile("windows/syswow64/only32.dll");
    MakeFile("windows/system32/only64.dll");
    MakeFile("Program Files (x86)/Tool/tool.exe");
    MakeFile("Program Files (x86)/Common Files/Shared/shared.dll");
    auto verified = [](qv::FileSystemView view, const std::string& path) {
        qv::ScopedFileSystemView scope(view);
        return CRegistryObject::FileVerified(path);
    };
    using V = qv::FileSystemView;
    EXPECT_TRUE(verified(V::Bits32, "C:\\windows\\system32\\only32.dll"));
    EXPECT_FALSE(verified(V::Bits64, "C:\\windows\\system32\\only32.dll"));
    EXPECT_TRUE(verified(V::Bits64, "C:\\windows\\system32\\only64.dll"));
    EXPECT_FALSE(verified(V::Bits32, "C:\\windows\\system32\\only64.dll"));
    EXPECT_TRUE(verified(V::Bits32, "C:\\windows\\sysnative\\only64.dll"));
    EXPECT_TRUE(verified(V::Bits32, "%ProgramFiles%\\Tool\\tool.exe"));
    EXPECT_FALSE(verified(V::Bits64, "%ProgramFiles%\\Tool\\tool.exe"));
    EXPECT_TRUE(verified(V::Bits32, "\"%CommonProgramFiles%\\Shared\\shared.dll\",1"));
    EXPECT_TRUE(verified(V::Bits64, "%ProgramFiles(x86)%\\Tool\\tool.exe"));
    // Written by either kind: present when either finds it.
    EXPECT_TRUE(verified(V::Unknown, "C:\\windows\\system32\\only32.dll"));
    EXPECT_TRUE(verified(V::Unknown, "%ProgramFiles%\\Tool\\tool.exe"));
    EXPECT_FALSE(verified(V::Unknown, "C:\\windows\\system32\\neither.dll"));
}

TEST_F(RegistryViewsTest, The32BitViewsOwnKeysAreScannedAndLinksWalkedOnce) {
    MakeFile("windows/syswow64/only32.dll");
    MakeFile("Program Files (x86)/Kept/kept.exe");
    // Shared DLLs: the same path judged by each view.
    Set(LM, kCV + "SharedDlls", "C:\\windows\\system32\\only32.dll", "1");
    Set(LM, kCV32 + "SharedDlls", "C:\\windows\\system32\\only32.dll", "1");
    Set(LM, kCV32 + "SharedDlls", "C:\\Program Files (x86)\\Gone\\gone.dll", "1");
    // Run: a 32-bit program's %ProgramFiles% is the (x86) folder.
    Set(LM, kCV32 + "Run", "Kept", "\"%ProgramFiles%\\Kept\\kept.exe\" /tray");
    Set(LM, kCV32 + "Run", "Gone", "\"C:\\Program Files (x86)\\Gone\\gone.exe\" /tray");
    Set(LM, kCV + "Run", "Kept64", "\"%ProgramFiles%\\Kept\\kept.exe\"");
    Set(CU, kCV + "Run", "User32", "C:\\windows\\system32\\only32.dll");  // either kind: present
    // Uninstall entries without any uninstall data, in both views.
    Set(LM, kCV + "Uninstall\\Empty64", "DisplayName", "Empty");
    Set(LM, kCV32 + "Uninstall\\Empty32", "DisplayName", "Empty");
    Set(LM, kCV32 + "Uninstall\\Kept", "UninstallString", "\"C:\\Program Files (x86)\\Kept\\uninst.exe\"");
    // App Paths: Wine links the 32-bit key to the 64-bit one, so each entry is seen once.
    Set(LM, kCV + "App Paths\\gone.exe", "", "C:\\Gone\\gone.exe");
    Link(kCV32 + "App Paths", kCV + "App Paths");

    engine.RunScan();
    const std::string lm = "HKEY_LOCAL_MACHINE";
    EXPECT_EQ(Found("Shared DLLs"),
              (std::vector<ScanFinding>{
                  {"Shared DLLs", "C:\\windows\\system32\\only32.dll", kCV + "SharedDlls", lm, "VAL"},
                  {"Shared DLLs", "C:\\Program Files (x86)\\Gone\\gone.dll", kCV32 + "SharedDlls", lm, "VAL"}}));
    EXPECT_EQ(Found("Startup Programs"),
              (std::vector<ScanFinding>{{"Startup Programs", "Kept64", kCV + "Run", lm, "VAL"},
                                        {"Startup Programs", "Gone", kCV32 + "Run", lm, "VAL"}}));
    EXPECT_EQ(Found("Add or Remove Programs"),
              (std::vector<ScanFinding>{
                  {"Add or Remove Programs", "Empty64", kCV + "Uninstall\\Empty64", lm, "KEY"},
                  {"Add or Remove Programs", "Empty32", kCV32 + "Uninstall\\Empty32", lm, "KEY"}}));
    std::vector<ScanFinding> appPaths = Found("Application Path");
    ASSERT_EQ(appPaths.size(), 1u);
    EXPECT_EQ(appPaths[0].key, kCV + "App Paths\\gone.exe");

    // A 32-bit view that links to a key of another name is named by where it leads.
    Link("SOFTWARE\\Wow6432Node\\Microsoft\\Windows NT\\CurrentVersion\\Fonts", "SOFTWARE\\Fonts32");
    Set(LM, "SOFTWARE\\Fonts32", "Gone", "C:\\Fonts32\\gone.ttf");
    std::vector<MachineKeyView> views = MachineKeyViews("SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Fonts");
    ASSERT_EQ(views.size(), 1u);  // no 64-bit Fonts key in this prefix
    EXPECT_EQ(views[0].path, "SOFTWARE\\Fonts32");
    EXPECT_TRUE(views[0].bits32);
}

TEST_F(RegistryViewsTest, AProgIdMayNameAClassOfEitherView) {
    const std::string classes = "SOFTWARE\\Classes\\";
    const std::string clsid32 = "{00000000-0000-0000-0000-000000000032}";
    MakeFile("Program Files (x86)/Common Files/Viewer/viewer.dll");
    Set(LM, classes + "Wow6432Node\\CLSID\\" + clsid32 + "\\InprocServer32", "",
        "%CommonProgramFiles%\\Viewer\\viewer.dll");
    Set(LM, classes + "Viewer.Document\\CLSID", "", clsid32);
    Set(LM, classes + "Broken.Document\\CLSID", "", "{00000000-0000-0000-0000-00000000dead}");
    engine.RunScan();
    const CFindingStores& s = engine.m_stores;
    ASSERT_EQ(s.m_aMachineClsid32.size(), 1u);
    EXPECT_TRUE(s.m_aMachineClsid32Invalid.empty());  // the (x86) Common Files of a 32-bit class
    auto names = [](const std::vector<_REG_PROGID>& store) {
        std::vector<std::string> out;
        for (const _REG_PROGID& r : store) out.push_back(r.fields[0]);
        return out;
    };
    EXPECT_EQ(names(s.m_aMachineProgIdInvalid), std::vector<std::string>{"Broken.Document"});
    EXPECT_EQ(names(s.m_aRootProgIdInvalid), std::vector<std::string>{"Broken.Document"});
    // The 32-bit view of the classes is no ProgID, whatever it holds.
    for (const _REG_PROGID& r : s.m_aMachineProgId) EXPECT_NE(r.fields[0], "Wow6432Node");
}

TEST_F(RegistryViewsTest, TheRepairNeverDeletesAContainerOfEitherView) {
    Link(kCV32 + "App Paths", kCV + "App Paths");
    auto isProtected = [](const std::string& key) {
        return CScanRepair::IsProtected({"x", "x", key, "HKEY_LOCAL_MACHINE", "KEY"});
    };
    for (const std::string& key :
         {kCV32 + "Run", kCV32 + "Uninstall", kCV32 + "SharedDlls", std::string("SOFTWARE\\Wow6432Node"),
          std::string("SOFTWARE\\Classes\\Wow6432Node\\CLSID"), std::string("SOFTWARE\\Classes\\Wow6432Node"),
          kCV32 + "App Paths", std::string("Software\\wow6432node\\Microsoft\\Windows\\CurrentVersion\\RunOnce")})
        EXPECT_TRUE(isProtected(key)) << key;
    EXPECT_FALSE(isProtected(kCV32 + "Uninstall\\Gone"));
    EXPECT_FALSE(isProtected(kCV32 + "App Paths\\gone.exe"));
    // A link that leads onto a container protects it under its other name too.
    Set(LM, kCV + "Uninstall\\Kept", "UninstallString", "C:\\uninst.exe");
    Link("SOFTWARE\\Vendor\\Alias", kCV + "Uninstall");
    EXPECT_TRUE(isProtected("SOFTWARE\\Vendor\\Alias"));
}

TEST_F(RegistryViewsTest, QuickBootSwitchesA32BitRunValueOffAndBackWhereItWas) {
    const std::string run32 = kCV32 + "Run";
    SetRawValue(LM, run32, "Agent32", REG_EXPAND_SZ, Utf16Bytes("\"%ProgramFiles%\\Agent\\agent.exe\" /min"));
    SetRawValue(LM, run32, "Other", REG_SZ, Utf16Bytes("C:\\other.exe"));
    SetRawValue(LM, kCV + "Run", "Agent32", REG_SZ, Utf16Bytes("C:\\agent64.exe"));  // same name, other view
    const std::string before = ExportKeyText("HKEY_LOCAL_MACHINE\\" + run32);
    const std::string before64 = ExportKeyText("HKEY_LOCAL_MACHINE\\" + kCV + "Run");

    auto rowOf = [](CStartupItemManager& m, const std::string& registry) {
        for (size_t i = 0; i < m.Rows().size(); ++i)
            if (m.Rows()[i].item == "Agent32" && m.Rows()[i].registry == registry) return i;
        return m.Rows().size();
    };
    CStartupItemManager manager;
    manager.RefreshStartupList();
    size_t row = rowOf(manager, run32);
    ASSERT_LT(row, manager.Rows().size());
    EXPECT_EQ(manager.Rows()[row].root, "HKLM");
    manager.SetChecked(row, false);
    EXPECT_EQ(manager.ApplyStartupRow(row), StartupRowOutcome::SwitchedOff);
    EXPECT_NE(ExportKeyText("HKEY_LOCAL_MACHINE\\" + run32), before);
    EXPECT_EQ(ExportKeyText("HKEY_LOCAL_MACHINE\\" + kCV + "Run"), before64);  // the 64-bit item stays on

    CStartupItemManager again;
    again.RefreshStartupList();
    row = rowOf(again, run32);
    ASSERT_LT(row, again.Rows().size());  // the record keeps the view
    EXPECT_FALSE(again.Rows()[row].checked);
    again.SetChecked(row, true);
    EXPECT_EQ(again.ApplyStartupRow(row), StartupRowOutcome::SwitchedOn);
    EXPECT_EQ(ExportKeyText("HKEY_LOCAL_MACHINE\\" + run32), before);
    EXPECT_EQ(ExportKeyText("HKEY_LOCAL_MACHINE\\" + kCV + "Run"), before64);
}
