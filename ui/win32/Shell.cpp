#include "Win32Shell.h"

#include "Dialog.h"
#include "Menu.h"

#include <process.h>

#include <cstdio>
#include <cstring>

namespace {

HWND HandleOf(CWnd* wnd) {
    return wnd ? wnd->m_hWnd : nullptr;
}

// Room for the names of a selection; the hook below grows it when the file-name box holds more.
constexpr DWORD kInitialNameBuffer = 64 * 1024;

struct NameBuffer {
    std::vector<char> bytes = std::vector<char>(kInitialNameBuffer, '\0');
};

// Makes the name buffer as large as what the file-name box holds: the folder, and each name
// with its zero, take no more room than the quoted names there. True when it had to grow.
bool GrowNameBuffer(HWND hook) {
    auto* ofn = reinterpret_cast<OPENFILENAMEA*>(GetWindowLongPtrA(hook, DWLP_USER));
    if (!ofn)
        return false;
    HWND dialog = GetParent(hook);
    const LRESULT names = SendMessageA(dialog, CDM_GETSPEC, 0, 0);
    const LRESULT folder = SendMessageA(dialog, CDM_GETFOLDERPATH, 0, 0);
    if (names < 0 || folder < 0)
        return false;
    const auto needed = static_cast<std::size_t>(names + folder) + MAX_PATH;
    auto* buffer = reinterpret_cast<NameBuffer*>(ofn->lCustData);
    if (needed <= buffer->bytes.size())
        return false;
    buffer->bytes.assign(needed * 2, '\0');
    ofn->lpstrFile = buffer->bytes.data();
    ofn->nMaxFile = static_cast<DWORD>(buffer->bytes.size());
    return true;
}

// The hook the dialog's flags ask for. A buffer too small for the names would lose them (an
// empty list on Windows, a cut one under Wine), so it grows as the selection does, and at the
// latest when OK is pressed: then that OK is turned down and pressed again.
UINT_PTR CALLBACK NameBufferHook(HWND hook, UINT message, WPARAM /*wParam*/, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        SetWindowLongPtrA(hook, DWLP_USER, lParam);
        return 0;
    }
    if (message != WM_NOTIFY)
        return 0;
    const UINT code = reinterpret_cast<NMHDR*>(lParam)->code;
    if (code == CDN_SELCHANGE) {
        GrowNameBuffer(hook);
    } else if (code == CDN_FILEOK && GrowNameBuffer(hook)) {
        HWND dialog = GetParent(hook);
        PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED),
                     reinterpret_cast<LPARAM>(GetDlgItem(dialog, IDOK)));
        SetWindowLongPtrA(hook, DWLP_MSGRESULT, 1);
        return TRUE;
    }
    return 0;
}

} // namespace

std::vector<CString> ParseOpenFileNames(const char* buffer, WORD fileOffset) {
    std::vector<CString> paths;
    const CString first = buffer;
    if (first.empty())
        return paths;
    // One file: its full path. Several: the directory, then each name after it.
    if (fileOffset <= first.size()) {
        paths.push_back(first);
        return paths;
    }
    const CString dir = first.back() == '\\' ? first : first + "\\";
    for (const char* name = buffer + first.size() + 1; *name; name += std::strlen(name) + 1)
        paths.push_back(dir + name);
    return paths;
}

CString QuoteArgument(const CString& argument) {
    CString quoted = "\"";
    std::size_t backslashes = 0;
    for (const char c : argument) {
        if (c == '\\') {
            ++backslashes;
            continue;
        }
        // Backslashes count only before a quote: there they are doubled, and the quote escaped.
        quoted.append(c == '"' ? 2 * backslashes + 1 : backslashes, '\\');
        quoted += c;
        backslashes = 0;
    }
    quoted.append(2 * backslashes, '\\');
    quoted += '"';
    return quoted;
}

int Win32Shell::MessageBox(CWnd* owner, const CString& text, const CString& caption, UINT type) {
    return MessageBoxA(HandleOf(owner), text.c_str(), caption.c_str(), type);
}

bool Win32Shell::GetOpenFileNames(CWnd* owner, const OpenFileRequest& request,
                                  std::vector<CString>& paths, CString& error) {
    // One filter: its description and its pattern, each ended by a zero, then one more zero.
    CString filter = request.filterDescription;
    filter += '\0';
    filter += request.filterPattern;
    filter += '\0';
    NameBuffer names;
    OPENFILENAMEA ofn{};
    ofn.lStructSize = sizeof(ofn);
    ofn.hwndOwner = HandleOf(owner);
    ofn.lpstrFilter = filter.c_str();
    ofn.lpstrFile = names.bytes.data();
    ofn.nMaxFile = static_cast<DWORD>(names.bytes.size());
    ofn.lpstrInitialDir = request.initialDir.empty() ? nullptr : request.initialDir.c_str();
    ofn.Flags = request.flags;
    ofn.lCustData = reinterpret_cast<LPARAM>(&names);
    ofn.lpfnHook = NameBufferHook;
    if (!GetOpenFileNameA(&ofn)) {
        // Cancel leaves no error; anything else is told, not taken for a Cancel.
        if (const DWORD code = CommDlgExtendedError()) {
            char text[160];
            std::snprintf(text, sizeof(text),
                          code == FNERR_BUFFERTOOSMALL
                              ? "The file dialog could not hand over so many names (error "
                                "0x%04lX): choose fewer files at a time."
                              : "The file dialog failed (error 0x%04lX).",
                          static_cast<unsigned long>(code));
            error = text;
        }
        return false;
    }
    paths = ParseOpenFileNames(ofn.lpstrFile, ofn.nFileOffset);
    return true;
}

int Win32Shell::RunModalLoop(CDialog& dialog) {
    const HWND hwnd = dialog.m_hWnd;
    if (!hwnd)
        return -1;
    // The owner takes no input while the dialog runs.
    const HWND owner = GetWindow(hwnd, GW_OWNER);
    const bool disabledOwner = owner && IsWindowEnabled(owner);
    if (disabledOwner)
        EnableWindow(owner, FALSE);
    if (dialog.ContinueModal() && !IsWindowVisible(hwnd))
        ShowWindow(hwnd, SW_SHOWNORMAL);
    MSG msg;
    while (dialog.ContinueModal()) {
        const BOOL got = GetMessageA(&msg, nullptr, 0, 0);
        if (got == 0) {
            PostQuitMessage(static_cast<int>(msg.wParam)); // for the loop outside
            break;
        }
        if (got < 0)
            break;
        if (!IsDialogMessageA(hwnd, &msg)) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
    }
    if (disabledOwner)
        EnableWindow(owner, TRUE);
    return dialog.GetModalResult();
}

UINT Win32Shell::TrackPopupMenu(CMenu& menu, UINT flags, CPoint screenPos, CWnd* owner) {
    return static_cast<UINT>(::TrackPopupMenu(menu.m_hMenu, flags | TPM_RETURNCMD | TPM_NONOTIFY,
                                              screenPos.x, screenPos.y, 0, HandleOf(owner),
                                              nullptr));
}

void Win32Shell::StartProcess(const CString& program, const std::vector<CString>& arguments) {
    // _spawnvp joins its arguments with blanks: each is quoted, so a path with blanks stays one.
    std::vector<CString> quoted;
    quoted.push_back(QuoteArgument(program));
    for (const CString& argument : arguments)
        quoted.push_back(QuoteArgument(argument));
    std::vector<const char*> argv;
    for (const CString& q : quoted)
        argv.push_back(q.c_str());
    argv.push_back(nullptr);
    _spawnvp(_P_NOWAIT, program.c_str(), argv.data());
}

void Win32Shell::OpenUrl(const CString& url) {
    ShellExecuteA(nullptr, "open", url.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
}

Shell& AfxGetPlatformShell() {
    static Win32Shell shell;
    return shell;
}

void StartTextEditor(const CString& path) {
    AfxGetShell().StartProcess("notepad.exe", {path});
}
