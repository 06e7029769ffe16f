#include "backup/backup_restore_page.h"

#include <windows.h>

#include <wx/thread.h>

#include "app/settings.h"
#include "app/string_table.h"
#include "backup/menu_archive_entries.h"
#include "backup/menu_archive_restore.h"
#include "menus/menu_home.h"
#include "shell/quorvane_main_dlg.h"
#include "vendor/core/system32.h"

namespace {

// The descriptions break their lines for a wider page than this one: the label wraps them
// at its own width instead.
std::string OneParagraph(std::string_view text) {
    std::string out(text);
    for (char& c : out) {
        if (c == '\n') c = ' ';
    }
    return out;
}

// What the last-backup label says at the page's start: the stored "Last Backup", or that
// there is none.
std::string StoredLastBackupText() {
    std::string last;
    if (CSystem32::GetRegistryValue(settings::kOptionsKey, settings::kLastBackup, last, HKEY_LOCAL_MACHINE) != 0)
        return std::string(StringText(145)) + " " + last;
    return std::string(StringText(149));
}

}  // namespace

CTopicTitleBackupNRestore::CTopicTitleBackupNRestore(wxWindow* parent) : CTopicDlg(kTemplate, parent) {}

CTopicTitleBackupNRestore::~CTopicTitleBackupNRestore() {
    // A backup that runs is let finish, so that no half-written file is left. Its reports to
    // this page are dropped from here on; a report it is waiting on is released by running
    // the queued calls meanwhile.
    if (m_pUiTarget) m_pUiTarget->Detach();
    WaitWhileDispatching([this] { return m_bWorkerDone.load(); });
    if (m_worker.joinable()) m_worker.join();
}

bool CTopicTitleBackupNRestore::OnInitDialog() {
    m_pUiTarget = std::make_unique<CUiTarget>(this);
    LoadBitmapA(kPageSkin, kSkinKey, 0);

    m_title.Create(this, kBannerId);
    SetupTitleBanner(m_title, 180, std::string(StringText(130)), std::string(StringText(178)));

    m_btnBackupNow.Create("", 0x40000000, 212, 211, 210, 210, 0xC0C0C0, this, kBackupNowId, 0);
    const std::string backupTip = std::string(StringText(141));
    m_btnBackupNow.SetToolTipText(&backupTip, 1);
    m_btnRestoreNow.Create("", 0x40000000, 216, 213, 215, 215, 0xC0C0C0, this, kRestoreNowId, 0);
    const std::string restoreTip = std::string(StringText(142));
    m_btnRestoreNow.SetToolTipText(&restoreTip, 1);

    // The toolkit's radio button keeps the size of its indicator; each one's label follows it
    // and selects its mode when clicked.
    m_pBackupRadio = new wxRadioButton(this, kBackupRadioId, "", wxPoint(16, 140), wxDefaultSize, wxRB_GROUP);
    m_pRestoreRadio = new wxRadioButton(this, kRestoreRadioId, "", wxPoint(16, 170));
    CreatePageLabel(m_lblPrompt, this, kPromptId, wxRect(16, 115, 475, 18), false);
    CreatePageLabel(m_lblBackup, this, kBackupLabelId, wxRect(40, 142, 250, 18), false);
    CreatePageLabel(m_lblRestore, this, kRestoreLabelId, wxRect(40, 172, 250, 18), false);
    // The description takes two lines. Under it the last-backup label (backup mode) or the
    // list (restore mode), then the status line, left of the command button.
    CreatePageLabel(m_lblDescription, this, kDescriptionId, wxRect(16, 200, 475, 40), true);
    CreatePageLabel(m_lblLastBackup, this, kLastBackupId, wxRect(16, 256, 475, 18), false);
    CreatePageLabel(m_lblStatus, this, kStatusId, wxRect(16, 282, 268, 60), true);  // four lines
    for (CLabel* label : {&m_lblBackup, &m_lblRestore}) {
        label->SetCursor(wxCursor(wxCURSOR_HAND));
        label->Bind(wxEVT_LEFT_UP, [this, label](wxMouseEvent& event) {
            if (label->IsEnabled()) OnCommand(label->CommandId());
            event.Skip();
        });
    }
    Bind(wxEVT_RADIOBUTTON, [this](wxCommandEvent& event) {
        if (!OnCommand(event.GetId())) event.Skip();
    });
    m_pList = new wxChoice(this, kBackupListId, wxPoint(15, 242), wxSize(475, -1));
    // Whether Restore Now waits for Wine depends on the kind of row chosen.
    m_pList->Bind(wxEVT_CHOICE, [this](wxCommandEvent& event) {
        UpdateRestoreNow();
        event.Skip();
    });

    PlaceTitleBanner(m_title);
    // Where the other pages have their main button.
    m_btnBackupNow.Move(292, 280);
    m_btnRestoreNow.Move(292, 280);

    InitBackupPage();
    return true;
}

void CTopicTitleBackupNRestore::InitBackupPage() {
    m_pList->Hide();
    m_btnBackupNow.Hide();
    m_btnRestoreNow.Hide();
    m_lblLastBackup.Hide();
    m_pBackupRadio->SetValue(true);
    ShowBackupMode();

    ShowLastBackupText(StoredLastBackupText());

    m_lblBackup.SetText(std::string(StringText(147)));
    m_lblRestore.SetText(std::string(StringText(146)));
    m_lblPrompt.SetText(std::string(StringText(148)));

    FillList(CBackupStore().ListBackupEntries(), false);
}

void CTopicTitleBackupNRestore::ShowBackupMode() {
    m_pBackupRadio->SetValue(true);
    m_pRestoreRadio->SetValue(false);
    m_lblDescription.SetText(OneParagraph(StringText(143)));
    m_btnBackupNow.Show();
    m_lblLastBackup.Show();
    m_pList->Hide();
    m_btnRestoreNow.Hide();
}

void CTopicTitleBackupNRestore::ShowRestoreMode() {
    m_pRestoreRadio->SetValue(true);
    m_pBackupRadio->SetValue(false);
    m_lblDescription.SetText(OneParagraph(StringText(144)));
    m_pList->Show();
    m_btnRestoreNow.Show();
    m_btnBackupNow.Hide();
    m_lblLastBackup.Hide();
    FillList(CBackupStore().ListBackupEntries(), false);
}

void CTopicTitleBackupNRestore::FillList(const std::vector<qv::BackupFileEntry>& backups, bool keepChoice) {
    // Each row stays bound to its file, so two backups of the same minute (same listing
    // text) are two rows that restore two files. The archives of menu files are read again
    // with every fill: a clean of the results page may have written one meanwhile.
    const int chosenIndex = m_pList->GetSelection();
    const std::string chosen = keepChoice && chosenIndex >= 0 && static_cast<size_t>(chosenIndex) < m_rows.size()
                                   ? m_rows[chosenIndex].File()
                                   : "";
    m_rows = qv::MakeBackupListRows(backups, qv::ListMenuArchiveEntries(menus::MenuHome::FromEnvironment()));
    m_pList->Clear();
    int select = 0;
    for (size_t i = 0; i < m_rows.size(); ++i) {
        if (!chosen.empty() && m_rows[i].File() == chosen) select = static_cast<int>(i);
        m_pList->Append(wxString::FromUTF8(m_rows[i].text));
    }
    if (m_rows.empty()) {
        // A line that says so, in place of an empty box; nothing to choose.
        m_pList->Append(wxString::FromUTF8(qv::kNoBackupsText));
        m_pList->SetSelection(0);
        m_pList->Disable();
    } else {
        m_pList->SetSelection(select);
        m_pList->Enable();
    }
    UpdateRestoreNow();
}

void CTopicTitleBackupNRestore::UpdateRestoreNow() {
    // With nothing to restore the button fades: the skin's disabled face looks pressed.
    m_btnRestoreNow.EnableButton(m_bControlsEnabled && !m_rows.empty() ? 1 : 0);
    m_btnRestoreNow.SetDimmed(m_rows.empty());
    const int chosen = m_pList != nullptr ? m_pList->GetSelection() : -1;
    const bool menuArchive = chosen >= 0 && static_cast<size_t>(chosen) < m_rows.size() && m_rows[chosen].IsMenuArchive();
    m_btnRestoreNow.SetUnavailable(menuArchive ? std::string() : m_writingUnavailable);
}

void CTopicTitleBackupNRestore::SetWritingUnavailable(const std::string& reason) {
    m_writingUnavailable = reason;
    UpdateRestoreNow();
}

void CTopicTitleBackupNRestore::ShowLastBackupText(const std::string& text) {
    // Wrapping breaks lines at blanks and drops runs of them: a text that fits on one line is
    // drawn as it is, with the label's blanks after "Last Backup :".
    m_lblLastBackup.SetText(text);
    m_lblLastBackup.InvalidateBestSize();
    const bool fits = m_lblLastBackup.GetBestSize().GetWidth() <= m_lblLastBackup.GetClientSize().GetWidth();
    m_lblLastBackup.SetWordWrap(fits ? 0 : 1);
    m_lblLastBackup.SetToolTip(fits ? wxString() : wxString::FromUTF8(text));
}

void CTopicTitleBackupNRestore::SetStatus(const std::string& text, const std::string& tip) {
    m_lblStatus.SetText(text);
    // A long text (a failure naming its file) may not fit the label's lines: the tip has all.
    m_lblStatus.SetToolTip(wxString::FromUTF8(tip.empty() ? text : tip));
}

void CTopicTitleBackupNRestore::EnableBackupControls(bool enable) {
    m_bControlsEnabled = enable;
    m_btnBackupNow.EnableButton(enable ? 1 : 0);
    UpdateRestoreNow();
    m_pBackupRadio->Enable(enable);
    m_pRestoreRadio->Enable(enable);
    m_lblBackup.Enable(enable);
    m_lblRestore.Enable(enable);
}

bool CTopicTitleBackupNRestore::OnCommand(int id) {
    switch (id) {
    case kBackupNowId:
        OnBackupNow();
        return true;
    case kRestoreNowId:
        OnRestoreNow();
        return true;
    case kBackupRadioId:
    case kBackupLabelId:
        ShowBackupMode();
        return true;
    case kRestoreRadioId:
    case kRestoreLabelId:
        ShowRestoreMode();
        return true;
    default:
        return false;
    }
}

void CTopicTitleBackupNRestore::OnBackupNow() {
    // The controls and the navigation go off here, on the UI thread, before the worker
    // starts: no second click can come in between and start a second backup.
    if (m_bBackupRunning.exchange(true)) return;
    EnableBackupControls(false);
    SetStatus("");
    SetCursor(wxCursor(wxCURSOR_WAIT));
    CQuorvaneDlg* main = m_pMainDlg;
    if (main != nullptr) main->SetBackupRunning(false);
    if (m_worker.joinable()) m_worker.join();  // the last one has ended: only its return was left
    m_bWorkerDone = false;
    CUiTarget* target = m_pUiTarget.get();
    m_worker = std::thread([this, main, target] {
        CBackupStore store;
        std::string error;
        const std::string path = store.DoFullBackup(this, error);
        // The page and the navigation come back in one call on the UI thread, after every
        // report of the backup has been shown.
        target->Send([this, main, path, error] {
            OnBackupFinished(path, error);
            if (main != nullptr) main->SetBackupRunning(true);
        });
        m_bWorkerDone = true;
    });
}

void CTopicTitleBackupNRestore::OnBackupFinished(const std::string& path, const std::string& error) {
    if (path.empty()) {
        // No backup was stored: the label goes back to the last one there is, and the status
        // line says what failed, with room to wrap.
        ShowLastBackupText(StoredLastBackupText());
        SetStatus(error);
    } else {
        SetStatus("Backup finished: " + path.substr(path.find_last_of('\\') + 1));
    }
    EnableBackupControls(true);
    SetCursor(wxNullCursor);
    m_bBackupRunning = false;
}

void CTopicTitleBackupNRestore::OnRestoreNow() {
    // The store asks for confirmation, and says in message boxes when the file is gone or the
    // import failed; the import runs here, and the page waits for it. The status line keeps
    // the outcome in view afterwards.
    const int chosen = m_pList->GetSelection();
    if (chosen < 0 || static_cast<size_t>(chosen) >= m_rows.size()) {
        CBackupStore().RestoreBackup("");  // says that there is no backup to restore
        return;
    }
    const qv::BackupListRow row = m_rows[chosen];
    if (row.IsMenuArchive()) {
        RestoreMenuArchive(row);
        return;
    }
    const std::string what = "the " + qv::BackupKindName(row.kind) + " of " + row.when;
    SetStatus("");
    CBackupStore store;
    switch (store.RestoreBackupFileResult(row.entry.path)) {
    case CBackupStore::RestoreResult::Restored:
        SetStatus("Restored " + what + ". Programs started in Wine from now on see the restored settings.");
        break;
    case CBackupStore::RestoreResult::NotFound:
        FillList(store.ListBackupEntries(), true);
        SetStatus("Not restored: " + what + " is no longer in the backup folder.");
        break;
    case CBackupStore::RestoreResult::Failed:
        // Why, and that nothing changed, was in the store's message.
        SetStatus("Not restored: " + what + ".");
        break;
    case CBackupStore::RestoreResult::Declined:
        break;
    }
}

void CTopicTitleBackupNRestore::RestoreMenuArchive(const qv::BackupListRow& row) {
    // A few small files: put back here, as a registry restore is, the page waiting for it.
    SetStatus("");
    const qv::MenuArchiveRestore done = qv::RestoreMenuArchive(row, menus::MenuHome::FromEnvironment());
    if (done.result == qv::MenuArchiveRestore::Result::Declined) return;
    if (done.result == qv::MenuArchiveRestore::Result::NotFound) FillList(CBackupStore().ListBackupEntries(), true);
    SetStatus(done.status, done.details);
}

int CTopicTitleBackupNRestore::DoSystemBackup() {
    CBackupStore store;
    std::string error;
    if (store.MakeRegistryBackup("SystemBackup", this, error).empty()) {
        OnUiThread([this, error] {
            ShowLastBackupText(StoredLastBackupText());
            SetStatus(error);
        });
    }
    return 1;
}

void CTopicTitleBackupNRestore::OnUiThread(std::function<void()> call) {
    if (wxThread::IsMain()) {
        call();
    } else if (m_pUiTarget) {
        m_pUiTarget->Post(std::move(call));
    }
}

void CTopicTitleBackupNRestore::SetLastBackupLabel(const std::string& text) {
    OnUiThread([this, text] { ShowLastBackupText(text); });
}

void CTopicTitleBackupNRestore::EnableControls(bool enabled) {
    // Only a full backup of this page disables the controls, and only its end gives them
    // back (OnBackupFinished): the store's own re-enabling would come before that end.
    if (enabled) return;
    OnUiThread([this] { EnableBackupControls(false); });
}

void CTopicTitleBackupNRestore::RefillList(const std::vector<qv::BackupFileEntry>& backups) {
    OnUiThread([this, backups] { FillList(backups, true); });
}
