// What the scan page relies on without a window: the status mailbox between the worker and
// the window, the grouping of rows, and the rules that move the bar.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "scan/finding_batch.h"
#include "scan/scan_progress_rules.h"
#include "scan/status_mailbox.h"

namespace {

TEST(StatusMailbox, OneDeliveryAtATimeAndTheLatestTextWins) {
    CStatusMailbox box;
    EXPECT_TRUE(box.Put("a"));   // nothing pending: ask for a delivery
    EXPECT_FALSE(box.Put("b"));  // the pending delivery will take it
    EXPECT_FALSE(box.Put("c"));
    EXPECT_EQ(box.Take(), "c");
    EXPECT_TRUE(box.Put("d"));  // delivered: the next text needs a new delivery
    EXPECT_EQ(box.Take(), "d");
    EXPECT_EQ(box.PutCount(), 4u);
    EXPECT_EQ(box.DeliveryCount(), 2u);
}

TEST(StatusMailbox, AFastWriterAgainstASlowReaderEndsOnItsLastText) {
    // The reader plays the window: it serves deliveries one at a time, slowly. Whatever the
    // interleaving, there is never more than one delivery outstanding, and the text shown
    // after the last delivery is the writer's last.
    CStatusMailbox box;
    std::atomic<int> outstanding{0};
    std::atomic<int> maxOutstanding{0};
    std::atomic<bool> writerDone{false};
    std::string shown;
    std::thread reader([&] {
        while (!writerDone || outstanding > 0) {
            if (outstanding > 0) {
                --outstanding;  // the delivery leaves the queue, then runs
                shown = box.Take();
            }
            std::this_thread::sleep_for(std::chrono::microseconds(50));
        }
    });
    for (int i = 0; i < 200000; ++i) {
        if (box.Put("entry " + std::to_string(i))) {
            int now = ++outstanding;
            if (now > maxOutstanding) maxOutstanding = now;
        }
    }
    writerDone = true;
    reader.join();
    EXPECT_EQ(shown, "entry 199999");
    EXPECT_EQ(maxOutstanding, 1);
    EXPECT_LT(box.DeliveryCount(), 200000u / 10);
}

TEST(FindingBatch, DeliversInGroupsInOrderAndDropsPendingRowsOnClear) {
    std::vector<std::vector<std::string>> groups;
    int clears = 0;
    CFindingBatch batch(
        [&](std::vector<ScanFinding>&& rows) {
            groups.emplace_back();
            for (const ScanFinding& r : rows) groups.back().push_back(r.description);
        },
        [&] { ++clears; }, 3);
    auto row = [](const std::string& d) { return ScanFinding{"P", d, "K", "HKEY_LOCAL_MACHINE", "VAL"}; };
    batch.AddFinding(row("x"));
    batch.ClearFindings();  // "x" never reaches the list
    for (const char* d : {"1", "2", "3", "4"}) batch.AddFinding(row(d));
    batch.Flush();
    batch.Flush();  // nothing left: no empty group
    EXPECT_EQ(clears, 1);
    EXPECT_EQ(groups, (std::vector<std::vector<std::string>>{{"1", "2", "3"}, {"4"}}));
}

TEST(ProgressRules, TheTimerHoldsAtEachPhasesPointAndLeavesTheEndToTheWorker) {
    EXPECT_TRUE(TimerMayStep(34, false, false, false));
    EXPECT_FALSE(TimerMayStep(35, false, false, false));
    EXPECT_FALSE(TimerMayStep(37, false, false, false));  // a step of 3 from 34 waits there
    EXPECT_TRUE(TimerMayStep(35, true, false, false));
    EXPECT_FALSE(TimerMayStep(70, true, false, false));
    EXPECT_TRUE(TimerMayStep(70, true, true, false));
    EXPECT_FALSE(TimerMayStep(85, true, true, false));
    EXPECT_FALSE(TimerMayStep(10, true, true, true));  // phase 3 done: only the worker moves it
    EXPECT_FALSE(TimerMayStep(99, true, true, true));
}

TEST(ProgressRules, RandomStepsFromZeroToThreeUntilPhaseTwoIsDoneThenOne) {
    CProgressStepper stepper(12345);
    bool seen[4] = {};
    for (int i = 0; i < 400; ++i) {
        int step = stepper.NextStep(false);
        ASSERT_GE(step, 0);
        ASSERT_LE(step, 3);
        seen[step] = true;
    }
    EXPECT_TRUE(seen[0] && seen[1] && seen[2] && seen[3]);
    for (int i = 0; i < 20; ++i) EXPECT_EQ(stepper.NextStep(true), 1);
}

}  // namespace
