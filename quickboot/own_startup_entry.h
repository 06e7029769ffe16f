// Quorvane's own startup item: the Run value "Quorvane" in the user's Run key, which runs
// Quorvane with /startup. Wine does not start Run values when the user logs in to the
// desktop, so the item really starts only through the desktop autostart entry that goes with
// it; switching the item off or on in Quick Boot (or with quorvane-cli startup) switches
// that entry too, so that the two never disagree.
#pragma once

#include <filesystem>
#include <optional>
#include <string>

#include "quickboot/startup_row.h"

class COwnStartupEntry {
public:
    // `autostartFolder` and `prefix`: where the entry lives and which prefix it names.
    COwnStartupEntry(std::filesystem::path autostartFolder, std::filesystem::path prefix)
        : m_folder(std::move(autostartFolder)), m_prefix(std::move(prefix)) {}

    // True for the Run value that is Quorvane's own: "Quorvane" under HKCU's Run key,
    // starting a program with /startup.
    static bool IsOwnRow(const StartupRow& row);

    // Puts the entry in the state the row's box asks for, before the Run value is switched.
    // False with Error() set when the entry could not be written or removed; the Run value
    // is then left alone.
    bool Prepare(const StartupRow& row);
    // Puts back the entry as it was before Prepare, when the Run value could not be switched.
    void Undo();

    const std::string& Error() const { return m_sError; }

private:
    // The Unix file of the program the Run value starts; a program file beside this one
    // named "quorvane" when the value's path cannot be followed.
    std::filesystem::path ProgramOf(const StartupRow& row) const;

    std::filesystem::path m_folder;
    std::filesystem::path m_prefix;
    std::filesystem::path m_entry;
    std::optional<std::string> m_before;  // the entry's text before Prepare; none: there was none
    bool m_prepared = false;
    std::string m_sError;
};
