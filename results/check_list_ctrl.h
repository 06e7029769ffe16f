// CCheckListCtrl: a report list with a check box in front of every row, built from a
// one-line column list. It adds row insertion with one text per column, whole-list check
// operations and deletion of all or of the checked rows; each row carries a record of the
// control's own (its caller value) that the control frees with the row.
//
// The list is virtual: its rows live in the control's own store and the toolkit asks for the
// texts of the rows it draws, so adding, checking or deleting tens of thousands of rows costs
// the window's thread next to nothing. A row's full texts are its tooltip; Space toggles the
// check of the selected rows.
//
// All operations run on the window's thread.
#pragma once

#include <wx/listctrl.h>

#include <cstdint>
#include <deque>
#include <string>
#include <string_view>
#include <vector>

// Sent to the list's parent (as a command event with the list's id) whenever check states
// change, by the user or by the check operations; not for rows added unchecked or deleted.
wxDECLARE_EVENT(EVT_CHECK_LIST_CHECKS_CHANGED, wxCommandEvent);

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

    // Inserts a row at `index` (clamped to the rows there are) with one text per current
    // column (texts beyond the column count are ignored, missing ones are empty). The new
    // row's index, or a negative value when the insertion failed.
    int InsertRow(int index, const std::vector<std::string>& texts);
    template <class... Texts>
    int InsertRow(int index, const Texts&... texts) {
        return InsertRow(index, std::vector<std::string>{std::string(texts)...});
    }

    // A column whose long texts are shown by their end ("…\App Paths\tool.exe"), where a
    // path tells most; the row's text itself stays whole.
    void SetColumnShowsEnd(int column);

    void SetGridLines(bool on);
    void SetCheckBoxes(bool on);

    void CheckAll();
    void UncheckAll();
    int GetCheckedCount() const { return static_cast<int>(m_checked); }
    // The first checked row after `after` (from row 0 when `after` is negative); -1 if none.
    int GetNextChecked(int after) const;
    bool IsChecked(int row) const { return IsItemChecked(row); }
    bool IsItemChecked(long row) const override;
    void CheckItem(long row, bool check) override;
    std::string CellText(int row, int column) const;
    // Every text of a row, one per column.
    const std::vector<std::string>& RowTexts(int row) const;

    // Delete every row / every checked row, from the top, until `predicate` (null: accept
    // all) rejects one; the rest stay in order. The number of rows deleted.
    int DeleteAllRows(RowPredicate predicate = nullptr, void* context = nullptr);
    int DeleteCheckedRows(RowPredicate predicate = nullptr, void* context = nullptr);

    // The caller value of a row (0 for rows made by InsertRow).
    uint32_t CallerValue(int row) const;
    // How many row records are alive (every row has one).
    static long LiveRecords();

    // The tooltip of a row: its visible column headings with their texts, one per line.
    std::string RowTip(int row) const;
    // The window the rows are drawn in (the toolkit's, inside the list).
    wxWindow* RowsWindow();

protected:
    wxString OnGetItemText(long item, long column) const override;
    bool OnGetItemIsChecked(long item) const override;

private:
    struct Row {
        std::vector<std::string> texts;
        bool checked = false;
        uint32_t callerValue = 0;
    };

    bool ValidRow(long row) const { return row >= 0 && static_cast<size_t>(row) < m_rows.size(); }
    void SetChecked(Row& row, bool check);
    // After the rows changed: the list's count and the rows on show.
    void RowsChanged();
    void ChecksChanged();
    void OnToolkitCheck(wxListEvent& event);
    void OnKey(wxKeyEvent& event);
    void OnMotion(wxMouseEvent& event);

    std::deque<Row> m_rows;
    std::vector<int> m_endColumns;
    size_t m_checked = 0;
    long m_tipRow = -1;
};
