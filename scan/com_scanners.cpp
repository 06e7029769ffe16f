// The COM registration scanners of phases 1 and 2: every CLSID, ProgID, TypeLib and
// Interface under one class root, judged by the core library's checkers. They make no
// rows; their stores count what was found.
#include <functional>

#include "app/string_table.h"
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
    const std::string label = machine ? "HKLM\\SOFTWARE\\Classes\\" : "HKCR\\";
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

    WalkSubkeys(*this, root, below("CLSID"), [&](HKEY key, const std::string& name) {
        CRegistryClassID checker;
        checker.Initialize(key, name);
        checker.AddToArray(clsids);
        PostStatus(prefix + label + "CLSID\\" + name);
        if (!checker.IsOK()) checker.AddToArray(clsidsInvalid);
    });
    WalkSubkeys(*this, root, base, [&](HKEY key, const std::string& name) {
        CRegistryProgID checker(clsids);
        checker.Initialize(key, name);
        PostStatus(prefix + label + name);
        if (checker.GetClassId().empty()) return;  // not a ProgID: extensions, CLSID, ...
        checker.AddToArray(progIds);
        if (!checker.IsOK()) checker.AddToArray(progIdsInvalid);
    });
    WalkSubkeys(*this, root, below(machine ? "TypeLib" : "Typelib"), [&](HKEY key, const std::string& name) {
        CRegistryTypeLib checker;
        checker.Initialize(key, name);
        PostStatus(prefix + label + (machine ? "TypeLib\\" : "Typelib\\") + name);
        checker.AddToArray(typeLibs);
        if (!checker.IsOK()) checker.AddToArray(typeLibsInvalid);
    });
    WalkSubkeys(*this, root, below("Interface"), [&](HKEY key, const std::string& name) {
        CRegistryInterface checker(typeLibs);
        checker.Initialize(key, name);
        PostStatus(prefix + label + "Interface\\" + name);
        checker.AddToArray(interfaces);
        if (!checker.IsOK()) checker.AddToArray(interfacesInvalid);
    });
}
