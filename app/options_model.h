// The options page without its window: its three check boxes, loaded from the settings and
// saved to them, and the run-at-start switch that the "Startup" setting drives.
#pragma once

#include <string>

#include "app/run_at_start.h"

class COptionsModel {
public:
    explicit COptionsModel(CRunAtStart runAtStart) : m_runAtStart(std::move(runAtStart)) {}

    // The page's boxes: run at start, check for updates, restore point before a scan.
    bool m_bRunAtStart = false;
    bool m_bCheckUpdate = false;
    bool m_bRestorePoint = false;

    // Loads the boxes: SyncRunAtStartBox, then "CheckUpdate" and "CheckRestorePoint" (a
    // value that cannot be read leaves its box clear).
    void Initialize();

    // Sets the run-at-start box from "Startup" and the Run value. "Startup" 2 (an
    // installer's "switch on now") switches running at start on, 3 ("switch off now")
    // deletes the Run value and the autostart entry; neither rewrites "Startup". Returns 0
    // when such a switch failed (the box then stays clear; Error() says why), else 1.
    int SyncRunAtStartBox();

    // Writes the three settings from the boxes in one change, then switches running at
    // start on or off when the store does not match the box. 1 when everything is done; 0
    // with Error() when the settings could not be saved (SettingsNotSaved(); nothing
    // changed) or switching failed.
    int SaveOptions();
    bool SettingsNotSaved() const { return m_bSettingsNotSaved; }

    // The switch itself (the Run value with its autostart entry).
    int SetRunAtStart(bool on);

    const std::string& Error() const { return m_sError; }
    const CRunAtStart& RunAtStart() const { return m_runAtStart; }

private:
    CRunAtStart m_runAtStart;
    std::string m_sError;
    bool m_bSettingsNotSaved = false;
};
