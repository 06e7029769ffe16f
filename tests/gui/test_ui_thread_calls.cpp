// Worker-to-window calls and the UI thread's wait for a worker.
#include <wx/frame.h>

#include <atomic>
#include <thread>

#include "gui_test_support.h"
#include "vendor/ui/ui_thread_calls.h"

namespace {

TEST(UiThreadCalls, AWorkerBlockedInASendFinishesWhileTheUiThreadWaitsForIt) {
    auto* frame = new wxFrame(nullptr, wxID_ANY, "target");
    CUiTarget target(frame);
    std::atomic<bool> workerDone{false};
    std::thread::id ranOn;
    bool sent = false;
    std::thread worker([&] {
        sent = target.Send([&] { ranOn = std::this_thread::get_id(); });
        workerDone = true;
    });
    // The wait must run the worker's call, or neither side would ever go on.
    EXPECT_TRUE(WaitWhileDispatching([&] { return workerDone.load(); }, std::chrono::seconds(10)));
    worker.join();
    EXPECT_TRUE(sent);
    EXPECT_EQ(ranOn, std::this_thread::get_id());
    frame->Destroy();
    guitest::Pump();
}

TEST(UiThreadCalls, CallsForADestroyedWindowAreDroppedAndSendsReturnAtOnce) {
    auto* frame = new wxFrame(nullptr, wxID_ANY, "target");
    CUiTarget target(frame);
    bool posted = false;
    target.Post([&] { posted = true; });  // queued while the window exists
    frame->Destroy();
    guitest::Pump();
    EXPECT_FALSE(target.Alive());
    EXPECT_FALSE(posted);

    bool sendResult = true;
    bool ran = false;
    std::thread worker([&] { sendResult = target.Send([&] { ran = true; }); });
    worker.join();  // returns without any help from the UI thread
    EXPECT_FALSE(sendResult);
    EXPECT_FALSE(ran);
}

TEST(UiThreadCalls, ASendQueuedBeforeTheTargetWentIsReleasedUnrun) {
    auto* frame = new wxFrame(nullptr, wxID_ANY, "target");
    CUiTarget target(frame);
    std::atomic<bool> queued{false};
    bool ran = false;
    bool result = true;
    std::thread worker([&] {
        queued = true;
        result = target.Send([&] { ran = true; });
    });
    while (!queued) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    target.Detach();
    guitest::Pump();
    worker.join();
    EXPECT_FALSE(result);
    EXPECT_FALSE(ran);
    frame->Destroy();
    guitest::Pump();
}

TEST(UiThreadCalls, WaitGivesUpAtItsTimeout) {
    auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(WaitWhileDispatching([] { return false; }, std::chrono::milliseconds(50)));
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(50));
}

}  // namespace
