#include "MainApp.h"

#include <MainDlg.h>
#include <Shell.h>

#include <exception>
#include <string>

// Constructed with no name: message boxes carry the executable's base name.
CMainApp::CMainApp() = default;

CMainApp theApp;

BOOL CMainApp::InitInstance() {
    CWinApp::InitInstance();

    // Whatever the window could not handle ends it with a message rather than a crash; every
    // file finished before stays as it was published.
    try {
        CMainDlg dlg;
        m_pMainWnd = &dlg;
        dlg.DoModal();
        m_pMainWnd = nullptr; // the dialog ends with this function
    } catch (const std::exception& e) {
        m_pMainWnd = nullptr;
        m_failed = true;
        AfxGetShell().MessageBox(nullptr, CString(std::string("veldran: ") + e.what()),
                                 AfxGetAppName(), MB_OK | MB_ICONWARNING);
    }

    // The window has closed: no message loop follows, and the program ends.
    return FALSE;
}
