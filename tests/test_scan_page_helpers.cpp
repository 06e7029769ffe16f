// What the scan page relies on without a window: the status mailbox between the worker and
// the window, the grouping of rows, and the rules that move the bar.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "scan/finding_batch.h"
#include "scan/scan_work_meter.h"
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

TEST(ScanWorkMeter, FollowsTheEntriesCheckedWithinEachPhasesShareAndNeverGoesBack) {
    CScanWorkMeter meter;
    meter.Start({100, 300, 100});
    EXPECT_EQ(meter.Percent(), 0);
    for (int i = 0; i < 50; ++i) meter.Tick();
    EXPECT_EQ(meter.Percent(), 9);  // half of the first fifth
    // A phase larger than its estimate holds at its share...
    for (int i = 0; i < 500; ++i) meter.Tick();
    EXPECT_EQ(meter.Percent(), 19);
    // ...and one that ends early jumps to its end.
    meter.BeginPhase(1);
    EXPECT_EQ(meter.Percent(), 19);
    for (int i = 0; i < 150; ++i) meter.Tick();
    EXPECT_EQ(meter.Percent(), 49);
    meter.BeginPhase(2);
    EXPECT_EQ(meter.Percent(), 79);
    meter.BeginPhase(1);  // never back
    EXPECT_EQ(meter.Percent(), 79);
    for (int i = 0; i < 1000; ++i) meter.Tick();
    EXPECT_EQ(meter.Percent(), 99);  // 100 is the scan's own, once it has ended

    // Nothing expected at all (an empty prefix) divides by nothing.
    meter.Start({0, 0, 0});
    meter.Tick();
    EXPECT_LE(meter.Percent(), 99);
}

}  // namespace
