#include "scan/finding_stores.h"

namespace {

template <class T>
void Release(std::vector<T>& v) {
    std::vector<T>().swap(v);
}

}  // namespace

void CFindingStores::Empty() {
    for (auto* v : {&m_aRootClsid, &m_aRootClsidInvalid, &m_aMachineClsid, &m_aMachineClsidInvalid}) Release(*v);
    for (auto* v : {&m_aRootProgId, &m_aRootProgIdInvalid, &m_aMachineProgId, &m_aMachineProgIdInvalid}) Release(*v);
    for (auto* v : {&m_aRootTypeLib, &m_aRootTypeLibInvalid, &m_aMachineTypeLib, &m_aMachineTypeLibInvalid})
        Release(*v);
    for (auto* v : {&m_aRootInterface, &m_aRootInterfaceInvalid, &m_aMachineInterface, &m_aMachineInterfaceInvalid})
        Release(*v);
    for (auto* v : {&m_aRootClsid32, &m_aRootClsid32Invalid, &m_aMachineClsid32, &m_aMachineClsid32Invalid})
        Release(*v);
    for (auto* v : {&m_aRootTypeLib32, &m_aRootTypeLib32Invalid, &m_aMachineTypeLib32, &m_aMachineTypeLib32Invalid})
        Release(*v);
    for (auto* v : {&m_aRootInterface32, &m_aRootInterface32Invalid, &m_aMachineInterface32,
                    &m_aMachineInterface32Invalid})
        Release(*v);
    Release(m_aMissingFonts);
    for (auto& v : m_aStartupEntries) Release(v);
    for (auto* v : {&m_aMissingFonts32, &m_aMissingHelpFiles32, &m_aMissingSharedDlls32, &m_aUninstallEntries32})
        Release(*v);
    for (auto& v : m_aStartupEntries32) Release(v);
    for (auto* v : {&m_aMissingHelpFiles, &m_aMissingSharedDlls, &m_aUninstallEntries, &m_aFileExtEntries,
                    &m_aMissingShortcuts, &m_aStartMenuShortcuts, &m_aShortcutFolderNotes})
        Release(*v);
    Release(m_aWineMenuFiles);
}

void CFindingStores::ForgetCachedFiles() {
    m_aCookieFiles.clear();
    m_aTempInternetFiles.clear();
    m_aCookieFileRecords.clear();
    m_aTempInternetFileRecords.clear();
}
