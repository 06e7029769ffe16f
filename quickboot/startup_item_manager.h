// The Quick Boot list without its window: the startup programs that are on (Run values)
// and those the system configuration utility's store holds off, each with a check box;
// applying the list switches every program to match its box and records the time and the
// number of programs switched off for the result page.
#pragma once

#include <cstdint>
#include <ctime>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "quickboot/startup_row.h"
#include "scan/startup_item_readers.h"

// What applying one row did.
enum class StartupRowOutcome {
    Unchanged,    // already as the box says
    SwitchedOn,   // its Run value was written again
    SwitchedOff,  // recorded in the store, then its Run value removed
    Failed,       // left as it was (or both on and recorded, never lost)
};

class CStartupItemManager : public IStartupRowSink {
public:
    // Inserts a row at the top of the list, unchecked (the readers call it once per item).
    void AddStartupRow(const std::string& item, const std::string& path, const std::string& root,
                       const std::string& registryKey, const std::string& key) override;

    // Rebuilds the list from the registry: the switched-off items, then above them the Run
    // values of HKCU and HKLM, which are checked.
    void RefreshStartupList();

    // Applies every row from the top down, so that for an item listed twice the lower row
    // wins. 1 when the whole list was gone through, 0 when an exception stopped it (rows
    // before it stay applied). Counts the programs that this apply switched off.
    int ApplyStartupList();

    // Applies one row.
    StartupRowOutcome ApplyStartupRow(size_t index);

    // ApplyStartupList, then "BTimeStamp" (`now` as "%H%M", local time) and "BFlag" (the
    // number switched off) in the options key. 1 when recorded: the caller then shows the
    // result page; 0 when the apply was stopped (nothing recorded).
    int ApplyAndRecord(int64_t now = static_cast<int64_t>(std::time(nullptr)));

    const std::vector<StartupRow>& Rows() const { return m_aRows; }
    void SetChecked(size_t index, bool checked);
    // Programs switched off by the last apply: only those that were on before it.
    int SwitchedOffCount() const { return m_nSwitchedOff; }
    // Rows that the last apply could not switch (indices into Rows()).
    const std::vector<size_t>& FailedRows() const { return m_aFailedRows; }

    // The store subkey of an item: the store path, a backslash and the item's name.
    static std::string StoreSubkeyOf(const std::string& item);

    // Quorvane's own item switches the desktop autostart entry of the prefix with it. The
    // entry lives in the user's autostart folder unless a test names another.
    void SetAutostartFolder(std::filesystem::path folder) { m_autostartFolder = std::move(folder); }
    // Why Quorvane's own row failed in the last apply when its autostart entry was the
    // cause; else empty.
    const std::string& AutostartError() const { return m_sAutostartError; }

private:
    StartupRowOutcome SwitchInRegistry(const StartupRow& row);

    std::optional<std::filesystem::path> m_autostartFolder;
    std::string m_sAutostartError;
    std::vector<StartupRow> m_aRows;
    int m_nSwitchedOff = 0;
    std::vector<size_t> m_aFailedRows;
};
