// The COM registration scanners of phases 1 and 2: every CLSID, ProgID, TypeLib and
// Interface under one class root, judged by the core library's checkers. They make no
// rows; their stores count what was found.
#include <functional>

#include "app/string_table.h"
#include "platform/prefix/case_insensitive_name.h"
#include "scan/machine_key_views.h"
#include "scan/registry_enum.h"
#include "scan/scan_engine.h"
#include "vendor/core/registry_checkers.h"

namespace {

// Enumerates the subkeys of root\path and calls `visit` with the open key and each name,
// until the list ends or a stop is asked for.
void WalkSubkeys(CScanEngine& engine, HKEY root, const std::string& path,
                 const std::function<void(HKEY, const std::string&)>& visit) {
    scanreg::OpenKey key(root, path);
    if (!key) return;
    std::string name;
    for (DWORD index = 0; scanreg::EnumSubkey(key.Get(), index, name); ++index) {
        if (engine.m_bStop) break;
        if (!name.empty()) visit(key.Get(), name);
    }
}

}  // namespace

void CScanEngine::ScanComRegistrations(bool machine) {
    const std::string prefix(machine ? StringText(122) : StringText(123));
    const HKEY root = machine ? HKEY_LOCAL_MACHINE : HKEY_CLASSES_ROOT;
    const std::string base = machine ? "SOFTWARE\\Classes" : "";
    const std::string label = machine ? "HKLM\\" : "HKCR\\";
    auto below = [&](const char* leaf) { return base.empty() ? std::string(leaf) : base + "\\" + leaf; };
    CFindingStores& s = m_stores;
    auto& clsids = machine ? s.m_aMachineClsid : s.m_aRootClsid;
    auto& clsidsInvalid = machine ? s.m_aMachineClsidInvalid : s.m_aRootClsidInvalid;
    auto& progIds = machine ? s.m_aMachineProgId : s.m_aRootProgId;
    auto& progIdsInvalid = machine ? s.m_aMachineProgIdInvalid : s.m_aRootProgIdInvalid;
    auto& typeLibs = machine ? s.m_aMachineTypeLib : s.m_aRootTypeLib;
    auto& typeLibsInvalid = machine ? s.m_aMachineTypeLibInvalid : s.m_aRootTypeLibInvalid;
    auto& interfaces = machine ? s.m_aMachineInterface : s.m_aRootInterface;
    auto& interfacesInvalid = machine ? s.m_aMachineInterfaceInvalid : s.m_aRootInterfaceInvalid;
    auto& clsids32 = machine ? s.m_aMachineClsid32 : s.m_aRootClsid32;
    auto& clsids32Invalid = machine ? s.m_aMachineClsid32Invalid : s.m_aRootClsid32Invalid;
    auto& typeLibs32 = machine ? s.m_aMachineTypeLib32 : s.m_aRootTypeLib32;
    auto& typeLibs32Invalid = machine ? s.m_aMachineTypeLib32Invalid : s.m_aRootTypeLib32Invalid;
    auto& interfaces32 = machine ? s.m_aMachineInterface32 : s.m_aRootInterface32;
    auto& interfaces32Invalid = machine ? s.m_aMachineInterface32Invalid : s.m_aRootInterface32Invalid;

    // Each leaf in both registry views: the 32-bit view's classes are judged as 32-bit
    // programs see the disk, and their records kept apart.
    auto walkViews = [&](const char* leaf, const std::function<void(HKEY, const std::string&, const std::string&, bool)>& visit) {
        for (const MachineKeyView& view : ClassKeyViews(machine, below(leaf))) {
            qv::ScopedFileSystemView files(view.files);
            const std::string shown = prefix + label + view.path + "\\";
            WalkSubkeys(*this, root, view.path, [&](HKEY key, const std::string& name) { visit(key, name, shown, view.bits32); });
        }
    };

    walkViews("CLSID", [&](HKEY key, const std::string& name, const std::string& shown, bool bits32) {
        CRegistryClassID checker;
        checker.Initialize(key, name);
        checker.AddToArray(bits32 ? clsids32 : clsids);
        EntryStatus([&] { return shown + name; });
        if (!checker.IsOK()) checker.AddToArray(bits32 ? clsids32Invalid : clsidsInvalid);
    });
    WalkSubkeys(*this, root, base, [&](HKEY key, const std::string& name) {
        // The 32-bit view of the classes, not a ProgID.
        if (qv::NamesEqualIgnoringCase(name, "Wow6432Node")) return;
        CRegistryProgID checker(clsids, &clsids32);
        checker.Initialize(key, name);
        EntryStatus([&] { return prefix + label + (base.empty() ? "" : base + "\\") + name; });
        if (checker.GetClassId().empty()) return;  // not a ProgID: extensions, CLSID, ...
        checker.AddToArray(progIds);
        if (!checker.IsOK()) checker.AddToArray(progIdsInvalid);
    });
    walkViews(machine ? "TypeLib" : "Typelib", [&](HKEY key, const std::string& name, const std::string& shown, bool bits32) {
        CRegistryTypeLib checker;
        checker.Initialize(key, name);
        EntryStatus([&] { return shown + name; });
        checker.AddToArray(bits32 ? typeLibs32 : typeLibs);
        if (!checker.IsOK()) checker.AddToArray(bits32 ? typeLibs32Invalid : typeLibsInvalid);
    });
    walkViews("Interface", [&](HKEY key, const std::string& name, const std::string& shown, bool bits32) {
        CRegistryInterface checker(bits32 ? typeLibs32 : typeLibs, bits32 ? &typeLibs : &typeLibs32);
        checker.Initialize(key, name);
        EntryStatus([&] { return shown + name; });
        checker.AddToArray(bits32 ? interfaces32 : interfaces);
        if (!checker.IsOK()) checker.AddToArray(bits32 ? interfaces32Invalid : interfacesInvalid);
    });
}
