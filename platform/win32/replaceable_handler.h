// A process-wide handler that tests (or the GUI) replace and the Win32 stand-in calls: the
// message box and the shell's "open". Without an installed handler the default one serves.
#pragma once

#include <mutex>
#include <utility>

namespace qv {

template <class Handler>
class ReplaceableHandler {
public:
    explicit ReplaceableHandler(Handler fallback) : m_fallback(std::move(fallback)) {}

    // Installs `handler` (an empty one brings the default back); returns the one it replaces.
    Handler Replace(Handler handler) {
        std::lock_guard lock(m_mutex);
        Handler previous = std::move(m_handler);
        m_handler = std::move(handler);
        return previous ? previous : m_fallback;
    }

    // The handler to call now: a copy, so that it may run without the lock.
    Handler Current() const {
        std::lock_guard lock(m_mutex);
        return m_handler ? m_handler : m_fallback;
    }

private:
    mutable std::mutex m_mutex;
    Handler m_handler;
    Handler m_fallback;
};

}  // namespace qv
