// Worker threads change windows only through these helpers: a post runs a function on the UI
// thread later, a send runs it there and waits for it. The target window is watched: a
// function for a window that has been destroyed is dropped, and a send to it returns at once.
//
// The UI thread, when it must wait for a worker (a stop button, the exit sequence), waits
// with WaitWhileDispatching: it keeps running queued posts and sends, so a worker blocked in
// a send can finish. User input is held back meanwhile.
#pragma once

#include <wx/window.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>

class CUiTarget {
public:
    // Made on the UI thread for `window`.
    explicit CUiTarget(wxWindow* window);
    ~CUiTarget();
    CUiTarget(const CUiTarget&) = delete;
    CUiTarget& operator=(const CUiTarget&) = delete;

    // From any thread. Runs `call` on the UI thread later, unless the window is gone by then.
    void Post(std::function<void()> call) const;
    // From a worker thread. Runs `call` on the UI thread and returns once it has run: true.
    // False at once when the window is gone, and false when it goes (or the program ends)
    // before the call could run.
    bool Send(std::function<void()> call) const;
    // True while the window exists.
    bool Alive() const { return m_state->window.load() != nullptr; }
    // On the UI thread: from now on the target counts as gone (a window about to be
    // destroyed). Calls already queued are then dropped, and their senders released.
    void Detach();

private:
    struct State {
        std::atomic<wxWindow*> window{nullptr};
    };
    void OnDestroy(wxWindowDestroyEvent& event);

    std::shared_ptr<State> m_state;
    wxWindow* m_pWindow;
};

// On the UI thread: returns when `done` is true, running queued calls and other non-input
// events meanwhile. False when `timeout` passed first.
bool WaitWhileDispatching(const std::function<bool()>& done,
                          std::chrono::milliseconds timeout = std::chrono::hours(24));
