#include "platform/win32/message_box.h"

#include <cstdio>
#include <mutex>

#include <windows.h>

namespace qv {
namespace {

struct HandlerSlot {
    std::mutex mutex;
    MessageBoxHandler handler;
};

HandlerSlot& Slot() {
    static HandlerSlot slot;
    return slot;
}

}  // namespace

MessageBoxHandler SetMessageBoxHandler(MessageBoxHandler handler) {
    HandlerSlot& slot = Slot();
    std::lock_guard lock(slot.mutex);
    MessageBoxHandler previous = std::move(slot.handler);
    slot.handler = std::move(handler);
    if (!previous) previous = DefaultMessageBoxHandler;
    return previous;
}

int DefaultMessageBoxHandler(const std::string& text, const std::string& caption, unsigned type) {
    std::fprintf(stderr, "%s: %s\n", caption.c_str(), text.c_str());
    std::fflush(stderr);
    switch (type & 0xF) {
        case MB_OK: return IDOK;
        case MB_YESNO: return IDNO;
        default: return IDCANCEL;
    }
}

}  // namespace qv

int MessageBoxA(HWND /*hWnd*/, LPCSTR lpText, LPCSTR lpCaption, UINT uType) {
    qv::MessageBoxHandler handler;
    {
        qv::HandlerSlot& slot = qv::Slot();
        std::lock_guard lock(slot.mutex);
        handler = slot.handler;
    }
    if (!handler) handler = qv::DefaultMessageBoxHandler;
    // Windows titles a box without caption "Error".
    return handler(lpText ? lpText : "", lpCaption ? lpCaption : "Error", uType);
}
