#pragma once
// Dialog templates, menus and strings as data: what a resource script holds, in dialog units.

#include "CString.h"
#include "WinDefs.h"

#include <span>

// One control of a dialog template. Places are in dialog units.
struct DialogItemTemplate {
    int id;
    const char* windowClass; // "button", "edit", "static" or "SysListView32"
    const char* text;        // nullptr for none
    int x, y, cx, cy;
    DWORD style;
    int imageId = 0; // the icon of an SS_ICON static
};

struct DialogTemplate {
    int id;
    const char* caption;
    int cx, cy; // client area, dialog units
    const char* fontName;
    int pointSize;
    DWORD style;
    DWORD exStyle;
    int menuId;                                // 0: no menu bar
    std::span<const DialogItemTemplate> items; // creation order, which is also the tab order
};

// A menu item; a null text is a separator.
struct MenuItemTemplate {
    const char* text;
    UINT id;
};

struct PopupTemplate {
    const char* title;
    std::span<const MenuItemTemplate> items;
};

struct MenuTemplate {
    int id;
    std::span<const PopupTemplate> popups;
};

// The resources of the program (res/Templates.cpp). Each returns nullptr when the id is unknown.
const DialogTemplate* FindDialogTemplate(int id);
const MenuTemplate* FindMenuTemplate(int id);
// A string of the string table; empty when it is missing.
CString LoadResourceString(UINT id);
