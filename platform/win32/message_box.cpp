#include "platform/win32/message_box.h"

#include <cstdio>
#include <windows.h>

#include "platform/win32/replaceable_handler.h"

namespace qv {
namespace {

ReplaceableHandler<MessageBoxHandler>& Slot() {
    static ReplaceableHandler<MessageBoxHandler> slot(DefaultMessageBoxHandler);
    return slot;
}

}  // namespace

MessageBoxHandler SetMessageBoxHandler(MessageBoxHandler handler) {
    return Slot().Replace(std::move(handler));
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
    qv::MessageBoxHandler handler = qv::Slot().Current();
    // Windows titles a box without caption "Error".
    return handler(lpText ? lpText : "", lpCaption ? lpCaption : "Error", uType);
}
