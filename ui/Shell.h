#pragma once
// Everything the dialog does that runs a modal loop of its own or starts another program goes
// through one Shell: message boxes, the file dialog, modal dialogs, pop-up menus, the text
// editor and the browser. The program uses the Qt one; tests and benchmarks install their own
// with AfxSetShell and drive every command without a modal loop.

#include "CString.h"
#include "WinDefs.h"

#include <vector>

class CDialog;
class QMenu;
class QPoint;
class QWidget;

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
    virtual int MessageBox(QWidget* owner, const CString& text, const CString& caption,
                           UINT type) = 0;
    // Runs the open-file dialog; true with the chosen paths (native separators) on OK.
    virtual bool GetOpenFileNames(QWidget* owner, const OpenFileRequest& request,
                                  std::vector<CString>& paths) = 0;
    // Runs a created dialog until it ends; returns its result.
    virtual int RunModalLoop(CDialog& dialog) = 0;
    // Shows a pop-up menu at a screen point; a chosen item triggers its command.
    virtual void TrackPopupMenu(QMenu& menu, const QPoint& screenPos, QWidget* owner) = 0;
    // Starts a program without waiting for it; a failure is not reported.
    virtual void StartProcess(const CString& program, const std::vector<CString>& arguments) = 0;
    // Opens a web address in the desktop's browser; a failure is not reported.
    virtual void OpenUrl(const CString& url) = 0;
};

// The Shell that drives Qt.
class QtShell : public Shell {
public:
    int MessageBox(QWidget* owner, const CString& text, const CString& caption, UINT type) override;
    bool GetOpenFileNames(QWidget* owner, const OpenFileRequest& request,
                          std::vector<CString>& paths) override;
    int RunModalLoop(CDialog& dialog) override;
    void TrackPopupMenu(QMenu& menu, const QPoint& screenPos, QWidget* owner) override;
    void StartProcess(const CString& program, const std::vector<CString>& arguments) override;
    void OpenUrl(const CString& url) override;
};

// The Shell in use: the Qt one unless another was installed.
Shell& AfxGetShell();
// Installs a Shell (nullptr: the Qt one again) and returns the one it replaces.
Shell* AfxSetShell(Shell* shell);

// The text editor on one file: "notepad.exe" on Windows; elsewhere $VELDRAN_EDITOR if set,
// else the desktop's opener. The path is one argument, unchanged, so blanks in it are safe.
void StartTextEditor(const CString& path);
