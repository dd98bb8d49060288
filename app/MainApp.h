#pragma once
// The application object of veldran: starts the main window and ends with it.

#include <WinApp.h>

class CMainApp : public CWinApp {
public:
    CMainApp();
    BOOL InitInstance() override;
    // Whether the window ended on an error it could not handle (already shown to the user).
    bool Failed() const { return m_failed; }

private:
    bool m_failed = false;
};

extern CMainApp theApp;
