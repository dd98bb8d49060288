#pragma once
// The application object of veldran: starts the main window and ends with it.

#include <WinApp.h>

class CMainApp : public CWinApp {
public:
    CMainApp();
    BOOL InitInstance() override;
};

extern CMainApp theApp;
