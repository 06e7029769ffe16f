#include "quickboot/own_startup_entry.h"

#include <system_error>

#include "app/settings.h"
#include "app/xdg_autostart_entry.h"
#include "platform/prefix/drive_map.h"
#include "platform/prefix/small_text_file.h"
#include "platform/registry/reg_text.h"

namespace fs = std::filesystem;

namespace {

bool SameName(const std::string& a, const std::string& b) {
    return qv::reg::NamesEqual(qv::reg::ToUtf16(a), qv::reg::ToUtf16(b));
}

constexpr std::string_view kStartupSwitch = " /startup";

// The program part of a Run value: the quoted path, or the text before " /startup".
std::string ProgramText(const std::string& command) {
    if (!command.empty() && command.front() == '"') {
        const size_t close = command.find('"', 1);
        return close == std::string::npos ? std::string() : command.substr(1, close - 1);
    }
    return command.substr(0, command.size() - kStartupSwitch.size());
}

std::optional<std::string> ReadWhole(const fs::path& file) {
    std::string text, why;
    if (!qv::ReadSmallTextFile(file, text, why)) return std::nullopt;
    return text;
}

}  // namespace

bool COwnStartupEntry::IsOwnRow(const StartupRow& row) {
    const std::string& path = row.path;
    return SameName(row.item, settings::kRunValue) && SameName(row.root, "HKCU") &&
           SameName(row.registry, settings::kRunKey) && path.size() > kStartupSwitch.size() &&
           path.compare(path.size() - kStartupSwitch.size(), kStartupSwitch.size(), kStartupSwitch) == 0;
}

fs::path COwnStartupEntry::ProgramOf(const StartupRow& row) const {
    const std::string windowsProgram = ProgramText(row.path);
    if (!windowsProgram.empty()) {
        qv::Prefix prefix(m_prefix);
        if (std::optional<fs::path> unix = qv::WindowsToUnixPath(prefix, windowsProgram)) {
            // Through the drive's link to the file itself, so that a later change of drive
            // letters does not break the entry.
            std::error_code ec;
            const fs::path file = fs::canonical(*unix, ec);
            if (!ec && fs::is_regular_file(file, ec)) return file;
        }
    }
    std::error_code ec;
    const fs::path self = fs::read_symlink("/proc/self/exe", ec);
    return ec ? fs::path("quorvane") : self.parent_path() / "quorvane";
}

bool COwnStartupEntry::Prepare(const StartupRow& row) {
    m_sError.clear();
    m_prepared = false;
    if (m_folder.empty()) {
        m_sError = "The desktop's autostart folder is not known (neither XDG_CONFIG_HOME nor HOME is set).";
        return false;
    }
    m_entry = autostart::AutostartEntryPath(m_folder, m_prefix);
    m_before = ReadWhole(m_entry);
    const bool ok = row.checked ? autostart::WriteAutostartEntry(
                                      m_entry, autostart::AutostartEntryText(ProgramOf(row), m_prefix), m_sError)
                                : autostart::RemoveAutostartEntry(m_entry, m_sError);
    m_prepared = ok;
    return ok;
}

void COwnStartupEntry::Undo() {
    if (!m_prepared) return;
    m_prepared = false;
    std::string ignored;
    if (m_before)
        autostart::WriteAutostartEntry(m_entry, *m_before, ignored);
    else
        autostart::RemoveAutostartEntry(m_entry, ignored);
}
