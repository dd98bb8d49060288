#include "MainApp.h"

#include <MainDlg.h>

// Constructed with no name: message boxes carry the executable's base name.
CMainApp::CMainApp() = default;

CMainApp theApp;

BOOL CMainApp::InitInstance() {
    CWinApp::InitInstance();

    CMainDlg dlg;
    m_pMainWnd = &dlg;
    dlg.DoModal();
    m_pMainWnd = nullptr; // the dialog ends with this function

    // The window has closed: no message loop follows, and the program ends.
    return FALSE;
}
