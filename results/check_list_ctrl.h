// CCheckListCtrl: a report list with a check box in front of every row, built from a
// one-line column list. It adds row insertion with one text per column, whole-list check
// operations and deletion of all or of the checked rows; each row carries a record of the
// control's own (its caller value) that the control frees with the row.
//
// All operations run on the window's thread.
#pragma once

#include <wx/listctrl.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

class CCheckListCtrl : public wxListCtrl {
public:
    // Decides whether a row may go: called with the row's caller value and the context;
    // non-zero lets it go.
    using RowPredicate = int (*)(uint32_t callerValue, void* context);

    CCheckListCtrl() = default;
    ~CCheckListCtrl() override;

    // Makes the report list at `rect` with full-row selection that stays shown without focus.
    bool Create(wxWindow* parent, unsigned id, const wxRect& rect);

    // Appends the columns of the column list `columns` (see results/check_list_columns.h). False when the list
    // refuses a column; the columns made before it stay.
    bool SetColumns(std::string_view columns);

    // Inserts a row at `index` with one text per current column (texts beyond the column
    // count are ignored, missing ones are empty). The new row's index, or a negative value
    // when the insertion failed.
    int InsertRow(int index, const std::vector<std::string>& texts);
    template <class... Texts>
    int InsertRow(int index, const Texts&... texts) {
        return InsertRow(index, std::vector<std::string>{std::string(texts)...});
    }

    void SetGridLines(bool on);
    void SetCheckBoxes(bool on);

    void CheckAll();
    void UncheckAll();
    int GetCheckedCount() const;
    // The first checked row after `after` (from row 0 when `after` is negative); -1 if none.
    int GetNextChecked(int after) const;
    bool IsChecked(int row) const { return IsItemChecked(row); }
    std::string CellText(int row, int column) const;

    // Delete every row / every checked row, from the top, until `predicate` (null: accept
    // all) rejects one; the rest stay in order. The number of rows deleted.
    int DeleteAllRows(RowPredicate predicate = nullptr, void* context = nullptr);
    int DeleteCheckedRows(RowPredicate predicate = nullptr, void* context = nullptr);

    // The caller value of a row (0 for rows made by InsertRow).
    uint32_t CallerValue(int row) const;
    // How many row records are alive (every row has one).
    static long LiveRecords();

private:
    struct RowRecord {
        uint32_t callerValue = 0;
    };

    RowRecord* RecordOf(long row) const;
    // Deletes the rows of `rows` (ascending indexes), last first so that no row moves
    // before its turn; frees their records. The number deleted.
    int DeleteRowList(const std::vector<long>& rows);
    void FreeAllRecords();
};
