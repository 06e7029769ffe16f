#include "vendor/ui/ui_thread_calls.h"

#include <wx/app.h>
#include <wx/evtloop.h>

#include <future>
#include <thread>

CUiTarget::CUiTarget(wxWindow* window) : m_state(std::make_shared<State>()), m_pWindow(window) {
    m_state->window = window;
    if (window != nullptr) window->Bind(wxEVT_DESTROY, &CUiTarget::OnDestroy, this);
}

CUiTarget::~CUiTarget() {
    Detach();
}

void CUiTarget::Detach() {
    wxWindow* window = m_state->window.exchange(nullptr);
    if (window != nullptr) window->Unbind(wxEVT_DESTROY, &CUiTarget::OnDestroy, this);
}

void CUiTarget::OnDestroy(wxWindowDestroyEvent& event) {
    if (event.GetEventObject() == m_pWindow) m_state->window = nullptr;
    event.Skip();
}

void CUiTarget::Post(std::function<void()> call) const {
    if (wxTheApp == nullptr || m_state->window.load() == nullptr) return;
    std::shared_ptr<State> state = m_state;
    wxTheApp->CallAfter([state, call = std::move(call)] {
        if (state->window.load() != nullptr) call();
    });
}

bool CUiTarget::Send(std::function<void()> call) const {
    if (wxTheApp == nullptr || m_state->window.load() == nullptr) return false;
    auto done = std::make_shared<std::promise<bool>>();
    std::future<bool> result = done->get_future();
    std::shared_ptr<State> state = m_state;
    wxTheApp->CallAfter([state, done, call = std::move(call)] {
        bool alive = state->window.load() != nullptr;
        if (alive) call();
        done->set_value(alive);
    });
    try {
        // A call that is dropped unrun (the program ends) breaks the promise.
        return result.get();
    } catch (const std::future_error&) {
        return false;
    }
}

bool WaitWhileDispatching(const std::function<bool()>& done, std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!done()) {
        if (std::chrono::steady_clock::now() >= deadline) return false;
        if (wxEventLoopBase* loop = wxEventLoopBase::GetActive()) {
            loop->YieldFor(wxEVT_CATEGORY_ALL & ~wxEVT_CATEGORY_USER_INPUT);
        }
        if (wxTheApp != nullptr) wxTheApp->ProcessPendingEvents();
        if (done()) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}
