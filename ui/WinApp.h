#pragma once
// The application object: one per process, started by AfxWinMain, which starts the window
// system and hands over to InitInstance.

#include "CString.h"
#include "WinDefs.h"

#include <memory>

class CWnd;

class CWinApp {
public:
    // Without a name the application is named after the executable's base name.
    explicit CWinApp(const char* lpszAppName = nullptr);
    virtual ~CWinApp();
    CWinApp(const CWinApp&) = delete;
    CWinApp& operator=(const CWinApp&) = delete;

    // Called once at start-up; the program ends when it returns FALSE.
    virtual BOOL InitInstance();

    CWnd* m_pMainWnd = nullptr;
    const char* m_pszAppName;
};

CWinApp* AfxGetApp();
// The application's main window; nullptr when there is no application object or no window.
CWnd* AfxGetMainWnd();
// The name in the caption of message boxes that have none of their own.
CString AfxGetAppName();
// Starts the window system, runs InitInstance and returns the exit code.
int AfxWinMain(int argc, char** argv);

// The window system for a program that drives dialogs without an application object (tests,
// benchmarks): one, made in main() before any window, kept until the program ends.
class WindowSystem {
public:
    WindowSystem(int& argc, char** argv);
    ~WindowSystem();
    WindowSystem(const WindowSystem&) = delete;
    WindowSystem& operator=(const WindowSystem&) = delete;

private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
};
