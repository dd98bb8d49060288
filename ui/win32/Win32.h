#pragma once
// The Windows headers, for the Win32 backend's files (and the Win32 test driver) only. Include
// this before any header of the window layer: the layer then takes the types and constants
// from here, and its own names that the Windows headers turn into macros of their "A" and "W"
// calls are set free again. The backend calls the "A" functions by name: the dialogs' texts are
// 8-bit texts of the local code page.

#include <windows.h>

#include <cderr.h>
#include <commctrl.h>
#include <commdlg.h>
#include <shellapi.h>

#undef AppendMenu
#undef GetDlgItemText
#undef GetMenuString
#undef GetWindowText
#undef LoadCursor
#undef MessageBox
#undef SendMessage
#undef SetDlgItemText
#undef SetWindowText

#define VELDRAN_WINDOWS_HEADERS
