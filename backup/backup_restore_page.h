// CTopicTitleBackupNRestore: the backup and restore page. Two modes, chosen with a pair of
// radio buttons (or their labels): backup mode shows when the last backup was taken and a
// "Backup Now" button; restore mode shows a drop-down list of the backups (newest first, each
// with its kind and size) and a "Restore Now" button. A status line under them says how the
// last backup or restore of the page ended. The list holds the archives of Wine menu files
// that cleans wrote beside the registry backups; restoring one puts those files back into
// the home folder and writes no registry, so it stays available while Wine runs.
//
// The work is CBackupStore's. "Backup Now" runs a full backup on a worker of the page; while it
// runs the page's controls and the main window's navigation are disabled. The worker reaches
// the page through the store's hooks, which this page implements: from a worker they are
// queued to the UI thread. The main window's first system backup reports through the same
// hooks (DoSystemBackup), but leaves the controls alone.
#pragma once

#include <wx/choice.h>
#include <wx/radiobut.h>

#include <atomic>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "backup/backup_store.h"
#include "shell/topic_dlg.h"
#include "vendor/ui/bmp_button.h"
#include "vendor/ui/label.h"
#include "vendor/ui/topic_title.h"
#include "vendor/ui/ui_thread_calls.h"

class CTopicTitleBackupNRestore : public CTopicDlg, public IBackupPageHooks {
public:
    static constexpr unsigned kTemplate = 109;
    static constexpr int kBannerId = 1014;
    static constexpr int kBackupListId = 1015;
    static constexpr int kDescriptionId = 1036;
    static constexpr int kRestoreRadioId = 1055;
    static constexpr int kBackupRadioId = 1056;
    static constexpr int kLastBackupId = 1057;
    static constexpr int kBackupLabelId = 1058;
    static constexpr int kRestoreLabelId = 1059;
    static constexpr int kPromptId = 1060;
    static constexpr int kStatusId = 1061;
    static constexpr int kBackupNowId = 36884;
    static constexpr int kRestoreNowId = 36885;

    explicit CTopicTitleBackupNRestore(wxWindow* parent);
    ~CTopicTitleBackupNRestore() override;

    void ShowBackupMode();
    void ShowRestoreMode();
    // Both command buttons, both radio buttons and both labels.
    void EnableBackupControls(bool enable);

    // The main window's first system backup, on its worker: the label and the list follow it.
    int DoSystemBackup();

    // True from "Backup Now" until the page has been given back to the user.
    bool IsBackupRunning() const { return m_bBackupRunning.load(); }

    // ---- the store's hooks; from any thread
    void SetLastBackupLabel(const std::string& text) override;
    void EnableControls(bool enabled) override;
    void RefillList(const std::vector<qv::BackupFileEntry>& backups) override;

    // ---- for tests and the screenshots
    wxRadioButton& BackupRadio() { return *m_pBackupRadio; }
    wxRadioButton& RestoreRadio() { return *m_pRestoreRadio; }
    CLabel& BackupLabel() { return m_lblBackup; }
    CLabel& RestoreLabel() { return m_lblRestore; }
    CLabel& DescriptionLabel() { return m_lblDescription; }
    CLabel& LastBackupLabel() { return m_lblLastBackup; }
    CLabel& StatusLabel() { return m_lblStatus; }
    wxChoice& BackupList() { return *m_pList; }
    // The backups the list holds (its rows but for the "No backups yet" line), and the backup
    // file (Windows path) and listing text of each.
    size_t BackupRowCount() const { return m_rows.size(); }
    const std::string& BackupFileOfRow(size_t row) const { return m_rows.at(row).entry.path; }
    const std::string& ListingTextOfRow(size_t row) const { return m_rows.at(row).entry.listingText; }
    // Whether a row is an archive of Wine menu files, and the archive (Unix path).
    bool IsMenuArchiveRow(size_t row) const { return m_rows.at(row).IsMenuArchive(); }
    const std::filesystem::path& MenuArchiveOfRow(size_t row) const { return m_rows.at(row).menuArchive; }
    CBMPButton& BackupNowButton() { return m_btnBackupNow; }
    CBMPButton& RestoreNowButton() { return m_btnRestoreNow; }

    // Restoring a registry backup waits while Wine runs; an archive of menu files does not.
    void SetWritingUnavailable(const std::string& reason) override;

protected:
    bool OnInitDialog() override;
    bool OnCommand(int id) override;

private:
    void InitBackupPage();
    void OnBackupNow();
    void OnRestoreNow();
    void RestoreMenuArchive(const qv::BackupListRow& row);
    void OnBackupFinished(const std::string& path, const std::string& error);
    // Fills the list newest first. With `keepChoice` the backup chosen before stays chosen
    // while the list still has it; otherwise, and when it is gone, the newest is.
    void FillList(const std::vector<qv::BackupFileEntry>& backups, bool keepChoice);
    // Restore Now works while the page's controls do and there is a backup to restore; while
    // writing the registry is unavailable, it says why unless an archive of menu files is
    // chosen.
    void UpdateRestoreNow();
    // The last-backup label's text, its blanks kept: drawn on one line when it fits, wrapped
    // (a failure) when not.
    void ShowLastBackupText(const std::string& text);
    // The status line; its tip is `tip`, or the text itself.
    void SetStatus(const std::string& text, const std::string& tip = "");
    // Runs `call` now on the UI thread, or queues it there from a worker.
    void OnUiThread(std::function<void()> call);

    std::unique_ptr<CUiTarget> m_pUiTarget;
    std::thread m_worker;
    std::atomic<bool> m_bBackupRunning{false};
    std::atomic<bool> m_bWorkerDone{true};
    bool m_bControlsEnabled = true;
    std::string m_writingUnavailable;  // why the registry cannot be written now; empty: it can

    CTopicTitle m_title;                        // 1014
    CLabel m_lblPrompt;                         // 1060
    wxRadioButton* m_pBackupRadio = nullptr;    // 1056, owned by the window
    CLabel m_lblBackup;                         // 1058
    wxRadioButton* m_pRestoreRadio = nullptr;   // 1055, owned by the window
    CLabel m_lblRestore;                        // 1059
    CLabel m_lblDescription;                    // 1036
    CLabel m_lblLastBackup;                     // 1057
    CLabel m_lblStatus;                         // 1061
    wxChoice* m_pList = nullptr;                // 1015, owned by the window
    CBMPButton m_btnBackupNow;                  // 36884
    CBMPButton m_btnRestoreNow;                 // 36885
    std::vector<qv::BackupListRow> m_rows;      // the backup of each row of m_pList
};
