#include "app/run_at_start.h"

#include <system_error>

#include "app/app_utils.h"
#include "app/settings.h"
#include "app/xdg_autostart_entry.h"
#include "platform/prefix/prefix.h"
#include "platform/registry/registry_store.h"
#include "vendor/core/system32.h"

namespace fs = std::filesystem;

RunAtStartTarget RunAtStartTarget::ForThisProgram() {
    RunAtStartTarget t;
    t.windowsProgram = GetModulePath();
    std::error_code error;
    t.unixProgram = fs::read_symlink("/proc/self/exe", error);
    if (std::shared_ptr<qv::Prefix> prefix = qv::ActivePrefix()) t.prefix = prefix->Root();
    t.autostartFolder = autostart::AutostartFolder();
    return t;
}

std::string CRunAtStart::RunCommand() const { return "\"" + m_target.windowsProgram + "\" /startup"; }

fs::path CRunAtStart::AutostartEntry() const {
    if (m_target.autostartFolder.empty()) return {};
    return autostart::AutostartEntryPath(m_target.autostartFolder, m_target.prefix);
}

bool CRunAtStart::RunValueExists() const {
    std::string text;
    return CSystem32::GetRegistryValue(settings::kRunKey, settings::kRunValue, text, HKEY_CURRENT_USER) != 0;
}

bool CRunAtStart::AutostartEntryExists() const {
    std::error_code error;
    fs::path entry = AutostartEntry();
    return !entry.empty() && fs::exists(entry, error);
}

bool CRunAtStart::WriteEntry() {
    return autostart::WriteAutostartEntry(
        AutostartEntry(), autostart::AutostartEntryText(m_target.unixProgram, m_target.prefix), m_sError);
}

bool CRunAtStart::RemoveEntry() { return autostart::RemoveAutostartEntry(AutostartEntry(), m_sError); }

bool CRunAtStart::RegistryFailed(const char* what) {
    const std::string why = qv::ActiveRegistryError();
    m_sError = std::string("The registry could not be changed to ") + what + "." + (why.empty() ? "" : " " + why);
    return false;
}

int CRunAtStart::SetRunAtStart(bool on) {
    m_sError.clear();
    const bool hadEntry = AutostartEntryExists();
    if (on) {
        if (!WriteEntry()) return 0;
        // A value of ours naming another program file (an older copy) is replaced in place.
        std::string old;
        if (CSystem32::GetRegistryValue(settings::kRunKey, settings::kRunValue, old, HKEY_CURRENT_USER) &&
            old != RunCommand())
            CSystem32::SetRegistryValue(settings::kRunKey, settings::kRunValue, RunCommand(), HKEY_CURRENT_USER);
        if (!CSystem32::EnableStartupRegistry(settings::kRunKey, settings::kDisabledStartupItemKey, settings::kRunValue,
                                              RunCommand(), HKEY_CURRENT_USER)) {
            std::string ignored;
            if (!hadEntry) autostart::RemoveAutostartEntry(AutostartEntry(), ignored);
            return RegistryFailed("start Quorvane with Windows");
        }
        // A switched-off record of ours for an older program file has no use any more.
        std::string item;
        if (CSystem32::GetRegistryValue(settings::kDisabledStartupItemKey, "item", item, HKEY_LOCAL_MACHINE) &&
            item == settings::kRunValue)
            CSystem32::DeleteRegistryKey(settings::kDisabledStartupItemKey, HKEY_LOCAL_MACHINE);
        return 1;
    }
    if (!RemoveEntry()) return 0;
    // Without a Run value there is nothing to switch off (and nothing to record).
    if (!RunValueExists()) return 1;
    if (!CSystem32::DisableStartupRegistry(settings::kDisabledStartupItemKey, settings::kRunKey, settings::kRunValue,
                                           "HKCU", RunCommand(), HKEY_LOCAL_MACHINE)) {
        if (hadEntry) WriteEntry();
        return RegistryFailed("stop starting Quorvane with Windows");
    }
    return 1;
}

int CRunAtStart::RemoveRunAtStart() {
    m_sError.clear();
    if (!RemoveEntry()) return 0;
    std::string text;
    if (CSystem32::GetRegistryValue(settings::kRunKey, settings::kRunValue, text, HKEY_CURRENT_USER) &&
        !CSystem32::DeleteRegistryValue(settings::kRunKey, settings::kRunValue, HKEY_CURRENT_USER))
        return RegistryFailed("stop starting Quorvane with Windows");
    return 1;
}
