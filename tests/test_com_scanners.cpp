// The COM registration scanners of phases 1 and 2 with planted registrations.
#include <gtest/gtest.h>

#include <windows.h>

#include "scan/scan_engine.h"
#include "small_prefix.h"
#include "vendor/core/system32.h"

using namespace qvtest;

namespace {

struct NoRows : IFindingSink {
    int rows = 0;
    void AddFinding(const ScanFinding&) override { ++rows; }
    void ClearFindings() override {}
};

// Asks for a stop once a status text starting with `trigger` has been shown `after` times.
struct StopAfter : IStatusSink {
    CScanEngine* engine = nullptr;
    std::string trigger;
    int after = -1;
    void PostStatus(const std::string& t) override {
        if (engine && after >= 0 && t.rfind(trigger, 0) == 0 && after-- == 0) engine->m_bStop = 1;
    }
};

const char kClasses[] = "SOFTWARE\\Classes\\";

class ComScannerTest : public SmallPrefixTest {
protected:
    void Default(const std::string& key, const std::string& value) {
        ASSERT_TRUE(CSystem32::SetRegistryValue(kClasses + key, "", value, HKEY_LOCAL_MACHINE)) << key;
    }
    template <class Store>
    static std::vector<std::string> Names(const Store& store) {
        std::vector<std::string> out;
        for (const auto& r : store) out.push_back(r.fields[0]);
        std::sort(out.begin(), out.end());
        return out;
    }
    NoRows rows;
    StopAfter status;
};

}  // namespace

TEST_F(ComScannerTest, PlantedRegistrationsAreJudgedConservatively) {
    MakeFile("Apps/here.dll");
    MakeFile("Apps/Server App/server.exe");
    MakeFile("Apps/lib.tlb");
    Default("CLSID\\{00000001-0000-0000-0000-000000000001}\\InprocServer32", "C:\\Apps\\gone.dll");
    Default("CLSID\\{00000002-0000-0000-0000-000000000002}\\InprocServer32", "C:\\Apps\\here.dll");
    Default("CLSID\\{00000003-0000-0000-0000-000000000003}\\LocalServer32",
            "\"C:\\Apps\\Server App\\server.exe\" /automation -Embedding");
    Default("CLSID\\{00000004-0000-0000-0000-000000000004}\\LocalServer32", "\"C:\\Apps\\Gone App\\x.exe\" /automation");
    Default("CLSID\\{00000005-0000-0000-0000-000000000005}", "no server at all");
    Default("CLSID\\not-a-guid\\InprocServer32", "%SystemRoot%\\system32\\nothere.dll");
    HKEY k;
    RegCreateKeyA(HKEY_LOCAL_MACHINE, (std::string(kClasses) + "CLSID\\{00000006-0000-0000-0000-000000000006}\\InprocServer32").c_str(), &k);
    DWORD number = 7;
    RegSetValueExA(k, nullptr, 0, REG_DWORD, reinterpret_cast<BYTE*>(&number), 4);  // not text: no file named
    RegCloseKey(k);
    Default("Good.Thing\\CLSID", "{00000002-0000-0000-0000-000000000002}");
    Default("Orphan.Thing\\CLSID", "{99999999-0000-0000-0000-000000000099}");
    Default(".txt", "txtfile");  // a root name without a CLSID: no record
    Default("TypeLib\\{0000000A-0000-0000-0000-00000000000A}\\1.0\\0\\win32", "C:\\Apps\\lib.tlb");
    Default("TypeLib\\{0000000B-0000-0000-0000-00000000000B}\\2.a\\409\\win64", "C:\\Apps\\gone.tlb");
    Default("TypeLib\\{0000000C-0000-0000-0000-00000000000C}\\1.0\\0\\win32", "C:\\Apps\\here.dll\\2");
    Default("Interface\\{0000000D-0000-0000-0000-00000000000D}\\TypeLib", "{0000000A-0000-0000-0000-00000000000A}");
    Default("Interface\\{0000000E-0000-0000-0000-00000000000E}\\TypeLib", "{0000000F-0000-0000-0000-00000000000F}");
    Default("Interface\\{00000010-0000-0000-0000-000000000010}", "IWithoutTypeLib");

    CScanEngine engine(rows, status);
    engine.PrepareStart();
    engine.RunScan();
    const CFindingStores& s = engine.m_stores;
    EXPECT_EQ(s.m_aRootClsid.size(), 7u);
    EXPECT_EQ(Names(s.m_aRootClsidInvalid),
              (std::vector<std::string>{"not-a-guid", "{00000001-0000-0000-0000-000000000001}",
                                        "{00000004-0000-0000-0000-000000000004}"}));
    EXPECT_EQ(Names(s.m_aRootProgId), (std::vector<std::string>{"Good.Thing", "Orphan.Thing"}));
    EXPECT_EQ(Names(s.m_aRootProgIdInvalid), (std::vector<std::string>{"Orphan.Thing"}));
    EXPECT_EQ(s.m_aRootTypeLib.size(), 3u);
    EXPECT_EQ(Names(s.m_aRootTypeLibInvalid), (std::vector<std::string>{"{0000000B-0000-0000-0000-00000000000B}"}));
    EXPECT_EQ(s.m_aRootInterface.size(), 3u);
    EXPECT_EQ(Names(s.m_aRootInterfaceInvalid), (std::vector<std::string>{"{0000000E-0000-0000-0000-00000000000E}"}));
    // Phase 2 walks the same keys here (the class root is HKLM\Software\Classes).
    EXPECT_EQ(Names(s.m_aMachineClsidInvalid), Names(s.m_aRootClsidInvalid));
    EXPECT_EQ(Names(s.m_aMachineInterfaceInvalid), Names(s.m_aRootInterfaceInvalid));
    EXPECT_EQ(rows.rows, 0);  // COM findings never become rows
}

TEST_F(ComScannerTest, MissingTypeLibKeyAndAStopDuringTheProgIdWalk) {
    for (int i = 0; i < 5; ++i) {
        Default("Thing" + std::to_string(i) + "\\CLSID", "{00000002-0000-0000-0000-000000000002}");
        Default("Interface\\{1000000" + std::to_string(i) + "-0000-0000-0000-000000000000}\\TypeLib", "{AB}");
    }
    CScanEngine engine(rows, status);
    engine.PrepareStart();
    status.engine = &engine;
    status.trigger = "Scanning Current User Settings:HKCR\\Thing";
    status.after = 1;  // stop while the second ProgID is examined
    engine.RunScan();
    const CFindingStores& s = engine.m_stores;
    EXPECT_EQ(s.m_aRootProgId.size(), 2u);  // the entry in hand is still recorded
    EXPECT_TRUE(s.m_aRootTypeLib.empty());
    EXPECT_TRUE(s.m_aRootInterface.empty());
    EXPECT_TRUE(s.m_aMachineProgId.empty());  // phase 2 is skipped after a stop

    // Without a TypeLib key nothing is recorded and every Interface naming one is invalid.
    CScanEngine full(rows, status);
    status.engine = nullptr;
    full.PrepareStart();
    full.RunScan();
    EXPECT_TRUE(full.m_stores.m_aMachineTypeLib.empty());
    EXPECT_EQ(full.m_stores.m_aMachineInterfaceInvalid.size(), 5u);
}
