#pragma once
// The Shell of the Win32 backend: MessageBox, GetOpenFileName, a modal loop through
// IsDialogMessage, TrackPopupMenu, _spawnvp and ShellExecute.

#include "Win32.h"

#include "Shell.h"

class Win32Shell : public Shell {
public:
    int MessageBox(CWnd* owner, const CString& text, const CString& caption, UINT type) override;
    bool GetOpenFileNames(CWnd* owner, const OpenFileRequest& request, std::vector<CString>& paths,
                          CString& error) override;
    int RunModalLoop(CDialog& dialog) override;
    UINT TrackPopupMenu(CMenu& menu, UINT flags, CPoint screenPos, CWnd* owner) override;
    void StartProcess(const CString& program, const std::vector<CString>& arguments) override;
    void OpenUrl(const CString& url) override;
};

// The names the open-file dialog hands over (the path of one file, or a directory and the names
// in it, each ended by a zero, then one more zero) as full paths.
std::vector<CString> ParseOpenFileNames(const char* buffer, WORD fileOffset);
// An argument of a command line, quoted so that the C runtime reads it back unchanged.
CString QuoteArgument(const CString& argument);
