// The check-list control on a real list window.
#include <wx/frame.h>
#include <wx/tooltip.h>

#include "gui_test_support.h"
#include "results/check_list_ctrl.h"

namespace {

class CheckListTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_frame = new wxFrame(nullptr, wxID_ANY, "list", wxDefaultPosition, wxSize(500, 300));
        m_list = new CCheckListCtrl;
        ASSERT_TRUE(m_list->Create(m_frame, 1045, wxRect(0, 0, 480, 280)));
        m_list->SetCheckBoxes(true);
        ASSERT_TRUE(m_list->SetColumns("A, 60;B, 1, 80;C, 2, 0"));
    }
    void TearDown() override {
        if (m_frame != nullptr) m_frame->Destroy();
        guitest::Pump(std::chrono::milliseconds(10));
    }
    void AddRows(int n) {
        for (int i = n - 1; i >= 0; --i) m_list->InsertRow(0, "r" + std::to_string(i), "b", "c");
    }
    std::vector<std::string> Texts() const {
        std::vector<std::string> out;
        for (int i = 0; i < m_list->GetItemCount(); ++i) out.push_back(m_list->CellText(i, 0));
        return out;
    }

    wxFrame* m_frame = nullptr;
    CCheckListCtrl* m_list = nullptr;
};

TEST_F(CheckListTest, ColumnsFromTheSpecAndOneTextPerColumnWithTheNewestOnTop) {
    ASSERT_EQ(m_list->GetColumnCount(), 3);
    wxListItem column;
    column.SetMask(wxLIST_MASK_FORMAT | wxLIST_MASK_WIDTH | wxLIST_MASK_TEXT);
    m_list->GetColumn(1, column);
    EXPECT_EQ(column.GetAlign(), wxLIST_FORMAT_CENTRE);
    EXPECT_EQ(column.GetWidth(), 80);
    EXPECT_EQ(m_list->GetColumnWidth(2), 1);  // hidden, but its texts stay readable
    m_list->InsertRow(0, "old", "x", "hidden text");
    m_list->InsertRow(0, "new");  // missing texts are empty
    EXPECT_EQ(Texts(), (std::vector<std::string>{"new", "old"}));
    EXPECT_EQ(m_list->CellText(1, 2), "hidden text");
    EXPECT_EQ(m_list->CellText(0, 1), "");
    EXPECT_EQ(m_list->CallerValue(0), 0u);
}

TEST_F(CheckListTest, CheckedRowOperations) {
    AddRows(6);
    EXPECT_EQ(m_list->GetNextChecked(-1), -1);
    for (long i : {0L, 2L, 5L}) m_list->CheckItem(i, true);
    EXPECT_EQ(m_list->GetCheckedCount(), 3);
    EXPECT_EQ(m_list->GetNextChecked(-1), 0);
    EXPECT_EQ(m_list->GetNextChecked(0), 2);
    EXPECT_EQ(m_list->GetNextChecked(5), -1);
    EXPECT_EQ(m_list->DeleteCheckedRows(), 3);
    EXPECT_EQ(Texts(), (std::vector<std::string>{"r1", "r3", "r4"}));
    m_list->CheckAll();
    EXPECT_EQ(m_list->GetCheckedCount(), 3);
    m_list->UncheckAll();
    EXPECT_EQ(m_list->GetCheckedCount(), 0);
}

int RejectSecond(uint32_t, void* context) {
    int& calls = *static_cast<int*>(context);
    return ++calls < 2;
}

TEST_F(CheckListTest, DeletionStopsWhereThePredicateSaysAndEveryRecordIsFreedOnce) {
    const long baseline = CCheckListCtrl::LiveRecords();
    AddRows(5);
    EXPECT_EQ(CCheckListCtrl::LiveRecords(), baseline + 5);
    m_list->CheckItem(1, true);
    m_list->CheckItem(3, true);
    m_list->CheckItem(4, true);
    int calls = 0;
    // The second checked row is refused: the first goes, the refused one and all after stay.
    EXPECT_EQ(m_list->DeleteCheckedRows(&RejectSecond, &calls), 1);
    EXPECT_EQ(Texts(), (std::vector<std::string>{"r0", "r2", "r3", "r4"}));
    calls = 0;
    EXPECT_EQ(m_list->DeleteAllRows(&RejectSecond, &calls), 1);
    EXPECT_EQ(Texts(), (std::vector<std::string>{"r2", "r3", "r4"}));
    EXPECT_EQ(CCheckListCtrl::LiveRecords(), baseline + 3);
    // Destroying the window with rows in it frees the rest.
    m_frame->Destroy();
    m_frame = nullptr;
    guitest::Pump(std::chrono::milliseconds(20));
    EXPECT_EQ(CCheckListCtrl::LiveRecords(), baseline);
}

TEST_F(CheckListTest, DeleteAllRowsWithoutPredicateEmptiesTheListAndCounts) {
    AddRows(4);
    EXPECT_EQ(m_list->DeleteAllRows(), 4);
    EXPECT_EQ(m_list->GetItemCount(), 0);
    EXPECT_EQ(m_list->DeleteAllRows(), 0);
}

TEST_F(CheckListTest, SpaceTogglesTheSelectedRowsAndEveryChangeOfChecksIsAnnounced) {
    AddRows(4);
    std::vector<int> announced;
    m_frame->Bind(EVT_CHECK_LIST_CHECKS_CHANGED, [&](wxCommandEvent& e) { announced.push_back(e.GetInt()); });
    m_list->SetItemState(1, wxLIST_STATE_SELECTED | wxLIST_STATE_FOCUSED, wxLIST_STATE_SELECTED | wxLIST_STATE_FOCUSED);
    m_list->SetItemState(2, wxLIST_STATE_SELECTED, wxLIST_STATE_SELECTED);
    wxKeyEvent space(wxEVT_KEY_DOWN);
    space.m_keyCode = WXK_SPACE;
    space.SetEventObject(m_list);
    m_list->GetEventHandler()->ProcessEvent(space);
    EXPECT_FALSE(m_list->IsChecked(0));
    EXPECT_TRUE(m_list->IsChecked(1));
    EXPECT_TRUE(m_list->IsChecked(2));
    EXPECT_FALSE(m_list->IsChecked(3));
    // Again: all selected rows were on, so all go off.
    m_list->GetEventHandler()->ProcessEvent(space);
    EXPECT_EQ(m_list->GetCheckedCount(), 0);
    m_list->CheckAll();
    m_list->CheckItem(3, false);
    EXPECT_EQ(announced, (std::vector<int>{2, 0, 4, 3}));
    // Deleting checked rows announces the new count; so does deleting rows that were checked.
    m_list->DeleteCheckedRows();
    EXPECT_EQ(announced.back(), 0);
    EXPECT_EQ(Texts(), (std::vector<std::string>{"r3"}));
}

TEST_F(CheckListTest, TheTipOfARowHoldsItsVisibleColumnsInFull) {
    const std::string longText(300, 'x');
    m_list->InsertRow(0, "Application Path", longText, "hidden");
    // Column C is one pixel wide: it is data for the program and stays out of the tip.
    EXPECT_EQ(m_list->RowTip(0), "A: Application Path\nB: " + longText);
    EXPECT_EQ(m_list->RowTip(5), "");
    // The mouse over the row shows it.
    wxWindow* rows = m_list->RowsWindow();
    ASSERT_NE(rows, m_list);
    wxMouseEvent move(wxEVT_MOTION);
    move.SetPosition(m_list->ScreenToClient(m_list->ClientToScreen(wxPoint(40, 5))));
    move.SetEventObject(rows);
    rows->GetEventHandler()->ProcessEvent(move);
    ASSERT_NE(rows->GetToolTip(), nullptr);
    EXPECT_EQ(rows->GetToolTip()->GetTip().utf8_string(), m_list->RowTip(0));
}

TEST_F(CheckListTest, AHundredThousandRowsComeAndGoWithTheirChecks) {
    const long baseline = CCheckListCtrl::LiveRecords();
    for (int i = 0; i < 100000; ++i) m_list->InsertRow(0, std::to_string(i), "b", "c");
    EXPECT_EQ(m_list->GetItemCount(), 100000);
    EXPECT_EQ(m_list->CellText(0, 0), "99999");
    EXPECT_EQ(m_list->CellText(99999, 0), "0");
    for (long i = 0; i < 100000; i += 2) m_list->CheckItem(i, true);
    EXPECT_EQ(m_list->GetCheckedCount(), 50000);
    EXPECT_EQ(m_list->GetNextChecked(0), 2);
    EXPECT_EQ(m_list->DeleteCheckedRows(), 50000);
    EXPECT_EQ(m_list->GetItemCount(), 50000);
    EXPECT_EQ(m_list->CellText(0, 0), "99998");
    EXPECT_EQ(CCheckListCtrl::LiveRecords(), baseline + 50000);
    guitest::Pump(std::chrono::milliseconds(20));  // drawn from the store
}

}  // namespace
