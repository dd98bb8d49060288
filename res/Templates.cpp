// The dialog templates, the menu and the string table of the window program, as a resource
// script would hold them. Places are in dialog units; the dialog turns them into pixels with the
// base units of its font.
#include "DialogTemplate.h"
#include "Maker.h"
#include "Resource.h"

#include <array>

namespace {

constexpr DWORD kChild = WS_CHILD | WS_VISIBLE;
constexpr DWORD kEdit = kChild | WS_BORDER | WS_TABSTOP | ES_LEFT | ES_AUTOHSCROLL;
constexpr DWORD kPush = kChild | WS_TABSTOP | BS_PUSHBUTTON;
constexpr DWORD kDefPush = kChild | WS_TABSTOP | BS_DEFPUSHBUTTON;
constexpr DWORD kCheck = kChild | WS_TABSTOP | BS_AUTOCHECKBOX;
constexpr DWORD kLabel = kChild | WS_GROUP | SS_LEFT;
constexpr DWORD kRightLabel = kChild | WS_GROUP | SS_RIGHT;
// A long project name or directory is shortened keeping its end, and shows whole as a tooltip.
constexpr DWORD kPathLabel = kLabel | SS_PATHELLIPSIS;
constexpr DWORD kRightPathLabel = kRightLabel | SS_PATHELLIPSIS;
constexpr DWORD kGroupBox = kChild | BS_GROUPBOX;
constexpr DWORD kFileList = kChild | WS_BORDER | WS_TABSTOP | LVS_REPORT | LVS_SHOWSELALWAYS |
                            LVS_SORTASCENDING | LVS_ALIGNLEFT;

constexpr std::array<DialogItemTemplate, 30> kMainItems{{
    {IDOK, "button", "OK", 439, 189, 85, 16, WS_CHILD | WS_DISABLED | BS_PUSHBUTTON},
    {IDCANCEL, "button", "Exit", 439, 203, 85, 16, kPush},
    {IDC_FILE_LIST, "SysListView32", nullptr, 7, 31, 417, 188, kFileList},
    {IDC_ADD_FILES, "button", "Add *.sch File", 339, 19, 85, 12, kPush},
    {IDC_REMOVE, "button", "Remove from List", 439, 19, 85, 16, kPush},
    {IDC_FIND_TEXT, "edit", nullptr, 439, 102, 85, 14, kEdit},
    {IDC_STATIC, "static", "Find :", 439, 94, 19, 8, kLabel},
    {IDC_REPLACE_TEXT, "edit", nullptr, 439, 141, 85, 14, kEdit},
    {IDC_STATIC, "static", "Replace :", 439, 133, 31, 8, kLabel},
    {IDC_REPLACE, "button", "Replace", 439, 159, 85, 16, kDefPush},
    {IDC_PROJECT_NAME, "static", "Project Name :", 7, 0, 169, 15, kPathLabel},
    {IDC_STATIC, "static", "Number of Items ", 7, 21, 86, 10, kLabel},
    {IDC_LISTED, "static", "Listed :", 114, 21, 61, 10, kLabel},
    {IDC_SELECTED, "static", "Selected :", 251, 21, 67, 10, kLabel},
    {IDC_FIND_ONLY, "button", "Find Only", 439, 117, 85, 16, kDefPush},
    {IDC_CREATE_LOG, "button", "Create Log File", 7, 231, 73, 9, kCheck},
    {IDC_LOG_DIR, "static", "SB_TEMP", 103, 231, 112, 9, kRightPathLabel},
    {IDC_LOG_NAME, "edit", nullptr, 227, 228, 96, 12, kEdit},
    {IDC_SHOW_LOG, "button", "Show Log File", 339, 228, 85, 12, kDefPush},
    {IDC_CREATE_BATCH_DATA, "button", "Create Batch Data File", 7, 249, 90, 9, kCheck},
    {IDC_BATCH_DIR, "static", "SB_SHIPDATA", 103, 249, 112, 9, kRightPathLabel},
    {IDC_BATCH_NAME, "edit", nullptr, 227, 246, 96, 12, kEdit},
    {IDC_SHOW_BATCH, "button", "Show Batch Input File", 339, 246, 85, 12, kDefPush},
    {IDC_DELETE_LOG, "button", "Delete Existing", 439, 231, 68, 9, kCheck},
    {IDC_DELETE_BATCH, "button", "Delete Existing", 439, 249, 66, 9, kCheck},
    {IDC_CREATE_BATCH_FILE, "button", "Create batch file", 439, 58, 85, 16, kDefPush},
    {IDC_RESET_STATUS, "button", "Reset display status", 439, 38, 85, 16, kPush},
    {IDC_STATIC, "button", nullptr, 1, 221, 528, 42, kGroupBox},
    {IDC_STATIC, "button", nullptr, 2, 12, 527, 213, kGroupBox},
    {IDC_WEB_LINK, "static", kWebLinkText, 339, 0, 185, 10,
     kChild | WS_GROUP | SS_LEFT | SS_NOTIFY | SS_CENTERIMAGE | SS_PATHELLIPSIS},
}};

constexpr std::array<DialogItemTemplate, 6> kAboutItems{{
    {IDC_STATIC, "static", nullptr, 11, 17, 20, 20, kChild | WS_GROUP | SS_ICON, IDR_MAINFRAME},
    {IDC_STATIC, "static", "veldran Version 1.1", 40, 10, 119, 8, kLabel | SS_NOPREFIX},
    {IDC_STATIC, "static", "Made by the veldran developers", 39, 23, 141, 8, kLabel},
    {IDOK, "button", "OK", 191, 7, 50, 16, kDefPush | WS_GROUP},
    {IDC_STATIC, "static", kWebAddress, 39, 36, 168, 13, kLabel},
    {IDC_STATIC, "static", "No warranty.", 168, 62, 73, 11, kLabel},
}};

// The preview: a read-only text of any length, scrolled both ways; the dialog lays it out anew
// when it is resized.
constexpr std::array<DialogItemTemplate, 3> kPreviewItems{{
    {IDC_PREVIEW_NOTE, "static", nullptr, 7, 7, 406, 10, kLabel | SS_NOPREFIX},
    {IDC_PREVIEW_TEXT, "edit", nullptr, 7, 20, 406, 212,
     kChild | WS_BORDER | WS_TABSTOP | WS_VSCROLL | WS_HSCROLL | ES_LEFT | ES_MULTILINE |
         ES_AUTOVSCROLL | ES_AUTOHSCROLL | ES_READONLY},
    {IDCANCEL, "button", "Close", 356, 239, 57, 14, kDefPush},
}};

constexpr DWORD kDialogStyle =
    WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_FIXEDSYS | DS_SETFONT;

constexpr std::array<DialogTemplate, 3> kDialogs{{
    {IDD_MAIN, "veldran", 531, 264, "MS Shell Dlg", 8, kDialogStyle | WS_VISIBLE | DS_3DLOOK,
     WS_EX_APPWINDOW, IDR_LIST_MENU, kMainItems},
    {IDD_ABOUTBOX, "About veldran", 248, 80, "MS Shell Dlg", 8, kDialogStyle, 0, 0, kAboutItems},
    {IDD_PREVIEW, "Preview Replace", 420, 260, "MS Shell Dlg", 8, kDialogStyle | WS_THICKFRAME, 0,
     0, kPreviewItems},
}};

constexpr std::array<MenuItemTemplate, 2> kListMenuItems{{
    {"Open", ID_LIST_OPEN},
    {"Exclude", IDC_REMOVE},
}};

constexpr std::array<MenuItemTemplate, 2> kEditMenuItems{{
    {"Preview Replace...", ID_EDIT_PREVIEW_REPLACE},
    {"Undo Last Replace", ID_EDIT_UNDO_REPLACE},
}};

constexpr std::array<PopupTemplate, 2> kListMenuPopups{
    {{"", kListMenuItems}, {"Edit", kEditMenuItems}}};

constexpr std::array<MenuTemplate, 1> kMenus{{{IDR_LIST_MENU, kListMenuPopups}}};

struct StringEntry {
    UINT id;
    const char* text;
};

constexpr std::array<StringEntry, 1> kStrings{{
    {IDS_ABOUTBOX, "&About veldran..."},
}};

} // namespace

const DialogTemplate* FindDialogTemplate(int id) {
    for (const DialogTemplate& t : kDialogs)
        if (t.id == id)
            return &t;
    return nullptr;
}

const MenuTemplate* FindMenuTemplate(int id) {
    for (const MenuTemplate& m : kMenus)
        if (m.id == id)
            return &m;
    return nullptr;
}

CString LoadResourceString(UINT id) {
    for (const StringEntry& s : kStrings)
        if (s.id == id)
            return s.text;
    return {};
}
