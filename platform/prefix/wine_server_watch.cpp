#include "platform/prefix/wine_server_watch.h"

namespace qv {

WineServerWatch::WineServerWatch(std::filesystem::path prefix, const WineServerStatus& known,
                                 std::chrono::milliseconds interval, Listener onChange)
    : prefix_(std::move(prefix)), interval_(interval), onChange_(std::move(onChange)) {
    worker_ = std::thread([this, running = known.running] { Run(running); });
}

WineServerWatch::~WineServerWatch() {
    {
        std::lock_guard lock(mutex_);
        stop_ = true;
    }
    wake_.notify_all();
    if (worker_.joinable()) worker_.join();
}

void WineServerWatch::Run(bool running) {
    std::unique_lock lock(mutex_);
    while (!wake_.wait_for(lock, interval_, [this] { return stop_; })) {
        lock.unlock();
        WineServerStatus now = FindWineServer(prefix_);
        lock.lock();
        if (stop_) return;
        if (now.running != running) {
            running = now.running;
            // Reported with the lock released, so that the listener may take its time; the
            // destructor still waits for it.
            lock.unlock();
            onChange_(now);
            lock.lock();
        }
    }
}

}  // namespace qv
