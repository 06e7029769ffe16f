// The hand-over of status texts from the scan worker to the window's thread. Scanners post a
// text for every entry they examine, tens of thousands a second; the status line only ever
// shows the latest. So the worker keeps just the latest text in one guarded slot and asks
// for a delivery to the window only when none is on its way; the window takes whatever is in
// the slot when the delivery runs. The window's queue holds at most one status delivery at a
// time, and the text finally shown is the last one posted.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <mutex>
#include <string>

class CStatusMailbox {
public:
    // Worker side: `text` becomes the latest. True when the caller must arrange one delivery
    // (no delivery is pending); false when a pending one will pick the text up.
    bool Put(std::string text);

    // Worker side: true when a text put now would be shown soon: no delivery is on its way
    // and the last one was asked for at least kInterval ago. Scanners make an entry's text
    // only then; a few texts a second are all a reader can follow.
    bool Wanted() const;
    static constexpr std::chrono::milliseconds kInterval{50};

    // Window side, from the delivery: the latest text; from now on the next Put asks for a
    // new delivery.
    std::string Take();

    // Texts put and deliveries asked for since the mailbox was made (for measurements).
    uint64_t PutCount() const;
    uint64_t DeliveryCount() const;

private:
    mutable std::mutex m_mutex;
    std::string m_text;
    bool m_bPending = false;
    // Copies for Wanted(), which the worker asks for every entry without taking the lock.
    std::atomic<bool> m_bPendingSeen{false};
    std::atomic<int64_t> m_lastDelivery{0};  // steady clock, nanoseconds
    uint64_t m_nPuts = 0;
    uint64_t m_nDeliveries = 0;
};
