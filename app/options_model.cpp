#include "app/options_model.h"

#include "platform/registry/registry_batch.h"

#include "app/settings.h"
#include "vendor/core/system32.h"

namespace {

bool ReadFlag(const char* name, bool& box) {
    int value = 0;
    if (!CSystem32::GetRegistryValue(settings::kOptionsKey, name, value, HKEY_LOCAL_MACHINE)) return false;
    box = value != 0;
    return true;
}

}  // namespace

void COptionsModel::Initialize() {
    SyncRunAtStartBox();
    m_bCheckUpdate = false;
    m_bRestorePoint = false;
    ReadFlag(settings::kCheckUpdate, m_bCheckUpdate);
    ReadFlag(settings::kCheckRestorePoint, m_bRestorePoint);
}

int COptionsModel::SetRunAtStart(bool on) {
    int ok = m_runAtStart.SetRunAtStart(on);
    m_sError = ok ? std::string() : m_runAtStart.Error();
    return ok;
}

int COptionsModel::SyncRunAtStartBox() {
    m_sError.clear();
    int startup = 0;
    if (!CSystem32::GetRegistryValue(settings::kOptionsKey, settings::kStartup, startup, HKEY_LOCAL_MACHINE)) return 1;
    if (startup == settings::kStartupSwitchOffNow) {
        int ok = m_runAtStart.RemoveRunAtStart();
        if (!ok) m_sError = m_runAtStart.Error();
        m_bRunAtStart = false;
        return ok;
    }
    if (startup == settings::kStartupSwitchOnNow) {
        int ok = SetRunAtStart(true);
        m_bRunAtStart = ok != 0;
        return ok;
    }
    m_bRunAtStart = startup != 0 && m_runAtStart.RunValueExists();
    return 1;
}

int COptionsModel::SaveOptions() {
    m_sError.clear();
    m_bSettingsNotSaved = false;
    // The three settings go in one change, so that a refusal (Wine running, a read-only
    // prefix) leaves all three as they were and is reported, never silently dropped.
    qv::RegistryBatch batch;
    const bool set = [&] {
        return CSystem32::SetRegistryValue(settings::kOptionsKey, settings::kCheckUpdate, m_bCheckUpdate ? 1 : 0,
                                           HKEY_LOCAL_MACHINE) &&
               CSystem32::SetRegistryValue(settings::kOptionsKey, settings::kCheckRestorePoint,
                                           m_bRestorePoint ? 1 : 0, HKEY_LOCAL_MACHINE) &&
               CSystem32::SetRegistryValue(settings::kOptionsKey, settings::kStartup, m_bRunAtStart ? 1 : 0,
                                           HKEY_LOCAL_MACHINE);
    }();
    if (!set || batch.Commit() != 0) {
        m_bSettingsNotSaved = true;
        m_sError = batch.Error();
        return 0;
    }

    // What "Startup" now says; the box when it could not be stored.
    int startup = m_bRunAtStart ? 1 : 0;
    CSystem32::GetRegistryValue(settings::kOptionsKey, settings::kStartup, startup, HKEY_LOCAL_MACHINE);
    const bool on = startup != 0;
    const bool value = m_runAtStart.RunValueExists();
    const bool entry = m_runAtStart.AutostartEntryExists();
    // On needs both the Run value and the autostart entry; off needs neither.
    if (on ? (value && entry) : (!value && !entry)) return 1;
    return SetRunAtStart(on);
}
