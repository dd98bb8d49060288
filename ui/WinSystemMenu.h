#pragma once
// The Windows system menu, for the About item. Everything here is a no-op elsewhere, where the
// dialog offers the same item in its menu bar instead. Kept free of <windows.h> for its users.

#include <cstdint>

// The system menu of a native window, or nullptr (always nullptr off Windows).
void* WinGetSystemMenu(void* nativeWindow);
bool WinAppendMenu(void* nativeMenu, unsigned flags, unsigned id, const char* text);
// When `message` is a WM_SYSCOMMAND (a native MSG), its command id and lParam.
bool WinIsSysCommand(const void* message, unsigned& id, std::intptr_t& lParam);
