#pragma once
// Everything the dialogs do that runs a modal loop of its own or starts another program goes
// through one Shell: message boxes, the file dialog, modal dialogs, pop-up menus, the text
// editor and the browser. The program uses its backend's; tests and benchmarks install their own
// with AfxSetShell and drive every command without a modal loop.

#include "CString.h"
#include "WinDefs.h"
#include "Wnd.h"

#include <vector>

class CDialog;
class CMenu;

// What the file dialog of Add *.sch File is asked for.
struct OpenFileRequest {
    CString initialDir;
    CString filterDescription; // the one filter: a description and its pattern
    CString filterPattern;
    DWORD flags = 0;
};

class Shell {
public:
    virtual ~Shell() = default;
    // Shows a message box; the caption is already resolved. Returns the button pressed (IDOK).
    virtual int MessageBox(CWnd* owner, const CString& text, const CString& caption, UINT type) = 0;
    // Runs the open-file dialog. True with the chosen paths on OK; false on Cancel, and then
    // `error` says why when the dialog failed instead.
    virtual bool GetOpenFileNames(CWnd* owner, const OpenFileRequest& request,
                                  std::vector<CString>& paths, CString& error) = 0;
    // Runs a created dialog until it ends (CDialog::EndDialog); returns its result.
    virtual int RunModalLoop(CDialog& dialog) = 0;
    // Shows a pop-up menu at a screen point; returns the command chosen, 0 for none.
    virtual UINT TrackPopupMenu(CMenu& menu, UINT flags, CPoint screenPos, CWnd* owner) = 0;
    // Starts a program without waiting for it; a failure is not reported.
    virtual void StartProcess(const CString& program, const std::vector<CString>& arguments) = 0;
    // Opens a web address in the desktop's browser; a failure is not reported.
    virtual void OpenUrl(const CString& url) = 0;
};

// The Shell in use: the backend's own unless another was installed.
Shell& AfxGetShell();
// Installs a Shell (nullptr: the backend's own again) and returns the one it replaces.
Shell* AfxSetShell(Shell* shell);
// The backend's own Shell, whichever is installed.
Shell& AfxGetPlatformShell();

// The text editor on one file: "notepad.exe" on Windows; elsewhere $VELDRAN_EDITOR if set,
// else the desktop's opener. The path is one argument, unchanged, so blanks in it are safe.
void StartTextEditor(const CString& path);
