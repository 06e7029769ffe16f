#include "quickboot/startup_item_manager.h"

#include <exception>

#include "app/app_utils.h"
#include "app/settings.h"
#include "app/xdg_autostart_entry.h"
#include "platform/prefix/prefix.h"
#include "quickboot/own_startup_entry.h"
#include "vendor/core/startup_root_text.h"
#include "vendor/core/system32.h"

void CStartupItemManager::AddStartupRow(const std::string& item, const std::string& path, const std::string& root,
                                        const std::string& registryKey, const std::string& key) {
    m_aRows.insert(m_aRows.begin(), StartupRow{item, path, root, registryKey, key, false});
}

void CStartupItemManager::RefreshStartupList() {
    m_aRows.clear();
    ReadDisabledStartupItems(*this);
    const size_t disabled = m_aRows.size();
    ReadEnabledStartupItems(*this);
    // Every row goes in at the top: the enabled ones now stand above the disabled ones.
    for (size_t i = 0; i + disabled < m_aRows.size(); ++i) m_aRows[i].checked = true;
}

void CStartupItemManager::SetChecked(size_t index, bool checked) {
    if (index < m_aRows.size()) m_aRows[index].checked = checked;
}

std::string CStartupItemManager::StoreSubkeyOf(const std::string& item) {
    return std::string(settings::kDisabledStartupKey) + "\\" + item;
}

StartupRowOutcome CStartupItemManager::ApplyStartupRow(size_t index) {
    if (index >= m_aRows.size()) return StartupRowOutcome::Failed;
    const StartupRow& row = m_aRows[index];
    std::shared_ptr<qv::Prefix> prefix = qv::ActivePrefix();
    if (!COwnStartupEntry::IsOwnRow(row) || !prefix) return SwitchInRegistry(row);
    m_sAutostartError.clear();
    // The entry first, as the options page does: a failed entry change leaves the Run value
    // alone, and a failed Run value change puts the entry back.
    COwnStartupEntry entry(m_autostartFolder.value_or(autostart::AutostartFolder()), prefix->Root());
    if (!entry.Prepare(row)) {
        m_sAutostartError = entry.Error();
        return StartupRowOutcome::Failed;
    }
    const StartupRowOutcome outcome = SwitchInRegistry(row);
    if (outcome == StartupRowOutcome::Failed) entry.Undo();
    return outcome;
}

StartupRowOutcome CStartupItemManager::SwitchInRegistry(const StartupRow& row) {
    const HKEY root = StartupRootHandle(row.root);
    if (!root || row.registry.empty()) {
        // Only an incomplete record of the store gives such a row: it does not say which
        // Run value to write, so it is left where it is.
        return row.checked ? StartupRowOutcome::Failed : StartupRowOutcome::Unchanged;
    }
    int r = 0;
    if (row.checked)
        r = CSystem32::EnableStartupRegistry(row.registry, StoreSubkeyOf(row.item), row.item, row.path, root);
    else
        // The record is written before the value goes, inside this one call: a value is never
        // removed whose record did not reach the disk.
        r = CSystem32::DisableStartupRegistry(StoreSubkeyOf(row.item), row.registry, row.item, row.root, row.path,
                                              HKEY_LOCAL_MACHINE);
    if (r == 0) return StartupRowOutcome::Failed;
    if (r == CSystem32::kStartupUnchanged) return StartupRowOutcome::Unchanged;
    return row.checked ? StartupRowOutcome::SwitchedOn : StartupRowOutcome::SwitchedOff;
}

int CStartupItemManager::ApplyStartupList() {
    m_nSwitchedOff = 0;
    m_aFailedRows.clear();
    m_sAutostartError.clear();
    try {
        for (size_t i = 0; i < m_aRows.size(); ++i) {
            StartupRowOutcome outcome = ApplyStartupRow(i);
            if (outcome == StartupRowOutcome::SwitchedOff) ++m_nSwitchedOff;
            if (outcome == StartupRowOutcome::Failed) m_aFailedRows.push_back(i);
        }
    } catch (const std::exception&) {
        return 0;
    }
    return 1;
}

int CStartupItemManager::ApplyAndRecord(int64_t now) {
    if (!ApplyStartupList()) return 0;
    CSystem32::SetRegistryValue(settings::kOptionsKey, settings::kBTimeStamp,
                                FormatTime(now, settings::kBootTimeStampFormat), HKEY_LOCAL_MACHINE);
    CSystem32::SetRegistryValue(settings::kOptionsKey, settings::kBFlag, m_nSwitchedOff, HKEY_LOCAL_MACHINE);
    return 1;
}
