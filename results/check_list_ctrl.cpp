#include "results/check_list_ctrl.h"

#include <atomic>

#include "results/check_list_columns.h"

namespace {
std::atomic<long> g_liveRecords{0};
}

CCheckListCtrl::~CCheckListCtrl() {
    FreeAllRecords();
}

long CCheckListCtrl::LiveRecords() {
    return g_liveRecords.load();
}

bool CCheckListCtrl::Create(wxWindow* parent, unsigned id, const wxRect& rect) {
    // Report view; the generic list keeps full-row selection and shows it without focus.
    if (!wxListCtrl::Create(parent, static_cast<wxWindowID>(id), rect.GetPosition(), rect.GetSize(),
                            wxLC_REPORT | wxBORDER_SIMPLE))
        return false;
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
    wxListItem item;
    item.SetId(index);
    item.SetMask(wxLIST_MASK_TEXT);
    item.SetText(texts.empty() ? wxString() : wxString::FromUTF8(texts[0]));
    long row = InsertItem(item);
    if (row < 0) return static_cast<int>(row);
    const int columns = GetColumnCount();
    for (int i = 1; i < columns; ++i) {
        if (static_cast<size_t>(i) < texts.size() && !texts[i].empty())
            SetItem(row, i, wxString::FromUTF8(texts[i]));
    }
    auto* record = new RowRecord;
    record->callerValue = static_cast<uint32_t>(GetItemData(row));
    ++g_liveRecords;
    SetItemPtrData(row, reinterpret_cast<wxUIntPtr>(record));
    return static_cast<int>(row);
}

void CCheckListCtrl::SetGridLines(bool on) {
    long style = GetWindowStyleFlag();
    style = on ? (style | wxLC_HRULES | wxLC_VRULES) : (style & ~(wxLC_HRULES | wxLC_VRULES));
    SetWindowStyleFlag(style);
}

void CCheckListCtrl::SetCheckBoxes(bool on) {
    EnableCheckBoxes(on);
}

void CCheckListCtrl::CheckAll() {
    const long count = GetItemCount();
    for (long i = 0; i < count; ++i) CheckItem(i, true);
}

void CCheckListCtrl::UncheckAll() {
    const long count = GetItemCount();
    for (long i = 0; i < count; ++i) CheckItem(i, false);
}

int CCheckListCtrl::GetCheckedCount() const {
    int checked = 0;
    const long count = GetItemCount();
    for (long i = 0; i < count; ++i) checked += IsItemChecked(i) ? 1 : 0;
    return checked;
}

int CCheckListCtrl::GetNextChecked(int after) const {
    const long count = GetItemCount();
    for (long i = after < 0 ? 0 : static_cast<long>(after) + 1; i < count; ++i) {
        if (IsItemChecked(i)) return static_cast<int>(i);
    }
    return -1;
}

std::string CCheckListCtrl::CellText(int row, int column) const {
    return GetItemText(row, column).utf8_string();
}

CCheckListCtrl::RowRecord* CCheckListCtrl::RecordOf(long row) const {
    return reinterpret_cast<RowRecord*>(GetItemData(row));
}

uint32_t CCheckListCtrl::CallerValue(int row) const {
    RowRecord* record = RecordOf(row);
    return record != nullptr ? record->callerValue : 0;
}

int CCheckListCtrl::DeleteRowList(const std::vector<long>& rows) {
    // Deleting from the bottom up moves no row that is still to go, so a long list is
    // emptied in linear time; the rows that stay keep their order.
    int deleted = 0;
    for (auto it = rows.rbegin(); it != rows.rend(); ++it) {
        RowRecord* record = RecordOf(*it);
        if (!DeleteItem(*it)) break;
        delete record;
        if (record != nullptr) --g_liveRecords;
        ++deleted;
    }
    return deleted;
}

int CCheckListCtrl::DeleteAllRows(RowPredicate predicate, void* context) {
    const long count = GetItemCount();
    if (predicate == nullptr) {
        FreeAllRecords();
        DeleteAllItems();
        return static_cast<int>(count);
    }
    std::vector<long> rows;
    for (long i = 0; i < count; ++i) {
        RowRecord* record = RecordOf(i);
        if (!predicate(record != nullptr ? record->callerValue : 0, context)) break;
        rows.push_back(i);
    }
    return DeleteRowList(rows);
}

int CCheckListCtrl::DeleteCheckedRows(RowPredicate predicate, void* context) {
    const long count = GetItemCount();
    std::vector<long> rows;
    for (long i = 0; i < count; ++i) {
        if (!IsItemChecked(i)) continue;
        RowRecord* record = RecordOf(i);
        if (predicate != nullptr && !predicate(record != nullptr ? record->callerValue : 0, context)) break;
        rows.push_back(i);
    }
    return DeleteRowList(rows);
}

void CCheckListCtrl::FreeAllRecords() {
    const long count = GetItemCount();
    for (long i = 0; i < count; ++i) {
        RowRecord* record = RecordOf(i);
        if (record == nullptr) continue;
        delete record;
        --g_liveRecords;
        SetItemPtrData(i, 0);
    }
}
