// The Windows side of the system menu: the only file that includes <windows.h>.
#include "WinSystemMenu.h"

#ifdef _WIN32
#include <windows.h>

void* WinGetSystemMenu(void* nativeWindow) {
    return ::GetSystemMenu(static_cast<HWND>(nativeWindow), FALSE);
}

bool WinAppendMenu(void* nativeMenu, unsigned flags, unsigned id, const char* text) {
    return ::AppendMenuA(static_cast<HMENU>(nativeMenu), flags, id, text) != 0;
}

bool WinIsSysCommand(const void* message, unsigned& id, std::intptr_t& lParam) {
    const MSG* msg = static_cast<const MSG*>(message);
    if (msg->message != WM_SYSCOMMAND)
        return false;
    id = static_cast<unsigned>(msg->wParam);
    lParam = static_cast<std::intptr_t>(msg->lParam);
    return true;
}

#else

void* WinGetSystemMenu(void* /*nativeWindow*/) {
    return nullptr;
}

bool WinAppendMenu(void* /*nativeMenu*/, unsigned /*flags*/, unsigned /*id*/,
                   const char* /*text*/) {
    return false;
}

bool WinIsSysCommand(const void* /*message*/, unsigned& /*id*/, std::intptr_t& /*lParam*/) {
    return false;
}

#endif
