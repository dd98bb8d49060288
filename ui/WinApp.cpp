#include "WinApp.h"

namespace {

CWinApp* g_app = nullptr;

} // namespace

CWinApp::CWinApp(const char* lpszAppName) : m_pszAppName(lpszAppName) {
    g_app = this;
}

CWinApp::~CWinApp() {
    if (g_app == this)
        g_app = nullptr;
}

BOOL CWinApp::InitInstance() {
    return TRUE;
}

CWinApp* AfxGetApp() {
    return g_app;
}

CWnd* AfxGetMainWnd() {
    return g_app ? g_app->m_pMainWnd : nullptr;
}

// The window system of the backend in use lives as long as the program.
int AfxWinMain(int argc, char** argv) {
    WindowSystem windows(argc, argv);
    CWinApp* app = AfxGetApp();
    if (!app)
        return 1;
    // The program's work is done inside InitInstance; its result only says whether a message
    // loop of the application's own should follow, and none does.
    app->InitInstance();
    return 0;
}
