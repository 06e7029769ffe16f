// Watching a prefix for a wineserver while the window is open: a worker looks every so often
// and reports when Wine starts or stops for the prefix, so that the window can say so at once
// instead of when a change is refused.
#pragma once

#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <functional>
#include <mutex>
#include <thread>

#include "platform/prefix/wineserver_guard.h"

namespace qv {

class WineServerWatch {
public:
    // Called on the watch's own thread, each time `running` differs from the last state seen.
    using Listener = std::function<void(const WineServerStatus&)>;

    // Starts watching `prefix`; `known` is the state the caller has already shown.
    WineServerWatch(std::filesystem::path prefix, const WineServerStatus& known, std::chrono::milliseconds interval,
                    Listener onChange);
    // Stops the worker and waits for it; no report follows.
    ~WineServerWatch();
    WineServerWatch(const WineServerWatch&) = delete;
    WineServerWatch& operator=(const WineServerWatch&) = delete;

private:
    void Run(bool running);

    std::filesystem::path prefix_;
    std::chrono::milliseconds interval_;
    Listener onChange_;
    std::mutex mutex_;
    std::condition_variable wake_;
    bool stop_ = false;
    std::thread worker_;
};

}  // namespace qv
