#pragma once
// The Shell of the Qt backend: Qt's message box, file dialog, modal loop and pop-up menu, and
// detached processes.

#include "Shell.h"

class QtShell : public Shell {
public:
    int MessageBox(CWnd* owner, const CString& text, const CString& caption, UINT type) override;
    bool GetOpenFileNames(CWnd* owner, const OpenFileRequest& request, std::vector<CString>& paths,
                          CString& error) override;
    int RunModalLoop(CDialog& dialog) override;
    UINT TrackPopupMenu(CMenu& menu, UINT flags, CPoint screenPos, CWnd* owner) override;
    void StartProcess(const CString& program, const std::vector<CString>& arguments) override;
    void OpenUrl(const CString& url) override;
};
