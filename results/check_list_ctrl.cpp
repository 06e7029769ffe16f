#include "results/check_list_ctrl.h"

#include <algorithm>
#include <atomic>

#include "results/check_list_columns.h"

wxDEFINE_EVENT(EVT_CHECK_LIST_CHECKS_CHANGED, wxCommandEvent);

namespace {
std::atomic<long> g_liveRecords{0};
const std::vector<std::string> kNoTexts;
}  // namespace

CCheckListCtrl::~CCheckListCtrl() {
    g_liveRecords -= static_cast<long>(m_rows.size());
}

long CCheckListCtrl::LiveRecords() {
    return g_liveRecords.load();
}

bool CCheckListCtrl::Create(wxWindow* parent, unsigned id, const wxRect& rect) {
    // Report view; the generic list keeps full-row selection and shows it without focus.
    if (!wxListCtrl::Create(parent, static_cast<wxWindowID>(id), rect.GetPosition(), rect.GetSize(),
                            wxLC_REPORT | wxLC_VIRTUAL | wxBORDER_SIMPLE | wxVSCROLL))
        return false;
    // The toolkit's own clicks on a box: it asks us for the state and tells us the new one.
    Bind(wxEVT_LIST_ITEM_CHECKED, &CCheckListCtrl::OnToolkitCheck, this);
    Bind(wxEVT_LIST_ITEM_UNCHECKED, &CCheckListCtrl::OnToolkitCheck, this);
    // Keys reach the list itself first; the mouse moves over the window of the rows.
    Bind(wxEVT_KEY_DOWN, &CCheckListCtrl::OnKey, this);
    RowsWindow()->Bind(wxEVT_MOTION, &CCheckListCtrl::OnMotion, this);
    return true;
}

bool CCheckListCtrl::SetColumns(std::string_view columns) {
    for (const CheckListColumn& column : ParseColumnList(columns)) {
        wxListColumnFormat format = column.align == ColumnAlign::Centre  ? wxLIST_FORMAT_CENTRE
                                    : column.align == ColumnAlign::Right ? wxLIST_FORMAT_RIGHT
                                                                         : wxLIST_FORMAT_LEFT;
        long index = AppendColumn(wxString::FromUTF8(column.heading), format, column.width);
        if (index < 0) return false;
    }
    return true;
}

int CCheckListCtrl::InsertRow(int index, const std::vector<std::string>& texts) {
    const int columns = std::max(1, GetColumnCount());
    Row row;
    row.texts.assign(texts.begin(), texts.begin() + std::min(texts.size(), static_cast<size_t>(columns)));
    row.texts.resize(static_cast<size_t>(columns));
    const size_t at = index < 0 ? 0 : std::min(static_cast<size_t>(index), m_rows.size());
    m_rows.insert(m_rows.begin() + static_cast<std::ptrdiff_t>(at), std::move(row));
    ++g_liveRecords;
    RowsChanged();
    return static_cast<int>(at);
}

void CCheckListCtrl::SetGridLines(bool on) {
    long style = GetWindowStyleFlag();
    style = on ? (style | wxLC_HRULES | wxLC_VRULES) : (style & ~(wxLC_HRULES | wxLC_VRULES));
    SetWindowStyleFlag(style);
}

void CCheckListCtrl::SetCheckBoxes(bool on) {
    EnableCheckBoxes(on);
}

void CCheckListCtrl::SetChecked(Row& row, bool check) {
    if (row.checked == check) return;
    row.checked = check;
    if (check) {
        ++m_checked;
    } else {
        --m_checked;
    }
}

void CCheckListCtrl::CheckAll() {
    for (Row& row : m_rows) SetChecked(row, true);
    Refresh(false);
    ChecksChanged();
}

void CCheckListCtrl::UncheckAll() {
    for (Row& row : m_rows) SetChecked(row, false);
    Refresh(false);
    ChecksChanged();
}

bool CCheckListCtrl::IsItemChecked(long row) const {
    return ValidRow(row) && m_rows[static_cast<size_t>(row)].checked;
}

void CCheckListCtrl::CheckItem(long row, bool check) {
    if (!ValidRow(row)) return;
    SetChecked(m_rows[static_cast<size_t>(row)], check);
    RefreshItem(row);
    ChecksChanged();
}

void CCheckListCtrl::OnToolkitCheck(wxListEvent& event) {
    const long row = event.GetIndex();
    if (ValidRow(row)) {
        SetChecked(m_rows[static_cast<size_t>(row)], event.GetEventType() == wxEVT_LIST_ITEM_CHECKED);
        RefreshItem(row);
        ChecksChanged();
    }
    event.Skip();
}

void CCheckListCtrl::OnKey(wxKeyEvent& event) {
    if (event.GetKeyCode() != WXK_SPACE || !HasCheckBoxes() || m_rows.empty()) {
        event.Skip();
        return;
    }
    // Space toggles the selected rows (as one: all on when any was off), or the focused row.
    std::vector<long> rows;
    for (long row = GetNextItem(-1, wxLIST_NEXT_ALL, wxLIST_STATE_SELECTED); row >= 0;
         row = GetNextItem(row, wxLIST_NEXT_ALL, wxLIST_STATE_SELECTED))
        rows.push_back(row);
    if (const long focused = GetNextItem(-1, wxLIST_NEXT_ALL, wxLIST_STATE_FOCUSED); rows.empty() && focused >= 0)
        rows.push_back(focused);
    if (rows.empty()) return;
    bool check = false;
    for (long row : rows) check = check || !IsItemChecked(row);
    for (long row : rows) {
        if (ValidRow(row)) SetChecked(m_rows[static_cast<size_t>(row)], check);
        RefreshItem(row);
    }
    ChecksChanged();
}

void CCheckListCtrl::OnMotion(wxMouseEvent& event) {
    event.Skip();
    int flags = 0;
    const long row = HitTest(event.GetPosition(), flags);
    if (row == m_tipRow) return;
    m_tipRow = row;
    wxWindow* rows = RowsWindow();
    if (ValidRow(row)) {
        rows->SetToolTip(wxString::FromUTF8(RowTip(static_cast<int>(row))));
    } else {
        rows->UnsetToolTip();
    }
}

wxWindow* CCheckListCtrl::RowsWindow() {
    // The generic list draws its rows in a child window of its own (beside the header's);
    // that child is found among the children by its address.
    for (wxWindow* child : GetChildren()) {
        if (static_cast<const void*>(child) == static_cast<const void*>(m_mainWin)) return child;
    }
    return this;
}

std::string CCheckListCtrl::RowTip(int row) const {
    if (!ValidRow(row)) return {};
    std::string tip;
    const std::vector<std::string>& texts = m_rows[static_cast<size_t>(row)].texts;
    for (size_t i = 0; i < texts.size(); ++i) {
        // Hidden columns (one pixel) carry data for the program, not for the reader.
        if (GetColumnWidth(static_cast<int>(i)) <= 1 || texts[i].empty()) continue;
        wxListItem column;
        column.SetMask(wxLIST_MASK_TEXT);
        GetColumn(static_cast<int>(i), column);
        if (!tip.empty()) tip += "\n";
        tip += column.GetText().utf8_string() + ": " + texts[i];
    }
    return tip;
}

int CCheckListCtrl::GetNextChecked(int after) const {
    for (size_t i = after < 0 ? 0 : static_cast<size_t>(after) + 1; i < m_rows.size(); ++i) {
        if (m_rows[i].checked) return static_cast<int>(i);
    }
    return -1;
}

std::string CCheckListCtrl::CellText(int row, int column) const {
    const std::vector<std::string>& texts = RowTexts(row);
    return column >= 0 && static_cast<size_t>(column) < texts.size() ? texts[static_cast<size_t>(column)] : std::string();
}

const std::vector<std::string>& CCheckListCtrl::RowTexts(int row) const {
    return ValidRow(row) ? m_rows[static_cast<size_t>(row)].texts : kNoTexts;
}

uint32_t CCheckListCtrl::CallerValue(int row) const {
    return ValidRow(row) ? m_rows[static_cast<size_t>(row)].callerValue : 0;
}

void CCheckListCtrl::SetColumnShowsEnd(int column) {
    m_endColumns.push_back(column);
}

wxString CCheckListCtrl::OnGetItemText(long item, long column) const {
    wxString text = wxString::FromUTF8(CellText(static_cast<int>(item), static_cast<int>(column)));
    if (std::find(m_endColumns.begin(), m_endColumns.end(), column) == m_endColumns.end()) return text;
    // The room the list gives a cell's text: the column less its margins.
    const int room = GetColumnWidth(static_cast<int>(column)) - 12;
    if (room <= 0 || GetTextExtent(text).x <= room) return text;
    const wxString dots = wxString::FromUTF8("\u2026");
    size_t keep = text.length();
    while (keep > 0 && GetTextExtent(dots + text.Right(keep)).x > room) keep = keep > 8 ? keep - keep / 8 : keep - 1;
    return dots + text.Right(keep);
}

bool CCheckListCtrl::OnGetItemIsChecked(long item) const {
    return IsItemChecked(item);
}

void CCheckListCtrl::RowsChanged() {
    SetItemCount(static_cast<long>(m_rows.size()));
    m_tipRow = -1;
    Refresh(false);
}

void CCheckListCtrl::ChecksChanged() {
    wxCommandEvent event(EVT_CHECK_LIST_CHECKS_CHANGED, GetId());
    event.SetEventObject(this);
    event.SetInt(static_cast<int>(m_checked));
    if (GetParent() != nullptr) GetParent()->GetEventHandler()->ProcessEvent(event);
}

int CCheckListCtrl::DeleteAllRows(RowPredicate predicate, void* context) {
    size_t count = 0;
    if (predicate == nullptr) {
        count = m_rows.size();
    } else {
        while (count < m_rows.size() && predicate(m_rows[count].callerValue, context)) ++count;
    }
    if (count == 0) return 0;
    size_t checkedGone = 0;
    for (size_t i = 0; i < count; ++i) checkedGone += m_rows[i].checked ? 1 : 0;
    m_checked -= checkedGone;
    m_rows.erase(m_rows.begin(), m_rows.begin() + static_cast<std::ptrdiff_t>(count));
    g_liveRecords -= static_cast<long>(count);
    // Selection marks belong to row numbers, which now name other rows.
    for (long row = GetNextItem(-1, wxLIST_NEXT_ALL, wxLIST_STATE_SELECTED); row >= 0;
         row = GetNextItem(row, wxLIST_NEXT_ALL, wxLIST_STATE_SELECTED))
        SetItemState(row, 0, wxLIST_STATE_SELECTED);
    RowsChanged();
    if (checkedGone != 0) ChecksChanged();
    return static_cast<int>(count);
}

int CCheckListCtrl::DeleteCheckedRows(RowPredicate predicate, void* context) {
    // One pass: checked rows go until the predicate refuses one; that row and every row
    // after it stay, as do the unchecked rows, in their order.
    std::deque<Row> kept;
    size_t deleted = 0;
    bool stopped = false;
    for (Row& row : m_rows) {
        if (!stopped && row.checked) {
            if (predicate == nullptr || predicate(row.callerValue, context)) {
                ++deleted;
                continue;
            }
            stopped = true;
        }
        kept.push_back(std::move(row));
    }
    if (deleted == 0) return 0;
    m_rows = std::move(kept);
    m_checked -= deleted;
    g_liveRecords -= static_cast<long>(deleted);
    for (long row = GetNextItem(-1, wxLIST_NEXT_ALL, wxLIST_STATE_SELECTED); row >= 0;
         row = GetNextItem(row, wxLIST_NEXT_ALL, wxLIST_STATE_SELECTED))
        SetItemState(row, 0, wxLIST_STATE_SELECTED);
    RowsChanged();
    ChecksChanged();
    return static_cast<int>(deleted);
}
