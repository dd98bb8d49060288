#pragma once
// The application object: one per process, started by AfxWinMain, which creates the Qt
// application and hands over to InitInstance.

#include "CString.h"
#include "WinDefs.h"

class QWidget;

class CWinApp {
public:
    // Without a name the application is named after the executable's base name.
    explicit CWinApp(const char* lpszAppName = nullptr);
    virtual ~CWinApp();
    CWinApp(const CWinApp&) = delete;
    CWinApp& operator=(const CWinApp&) = delete;

    // Called once at start-up; the program ends when it returns FALSE.
    virtual BOOL InitInstance();

    QWidget* m_pMainWnd = nullptr;
    const char* m_pszAppName;
};

CWinApp* AfxGetApp();
// The application's main window; nullptr when there is no application object or no window.
QWidget* AfxGetMainWnd();
// The name in the caption of message boxes that have none of their own.
CString AfxGetAppName();
// Creates the Qt application, runs InitInstance and returns the exit code.
int AfxWinMain(int argc, char** argv);
