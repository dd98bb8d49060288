#include "WinApp.h"

#include <QApplication>
#include <QFileInfo>

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

QWidget* AfxGetMainWnd() {
    return g_app ? g_app->m_pMainWnd : nullptr;
}

CString AfxGetAppName() {
    if (g_app && g_app->m_pszAppName)
        return g_app->m_pszAppName;
    const QString path = QCoreApplication::applicationFilePath();
    if (!path.isEmpty())
        return FromQString(QFileInfo(path).completeBaseName());
    return FromQString(QCoreApplication::applicationName());
}

int AfxWinMain(int argc, char** argv) {
    QApplication application(argc, argv);
    CWinApp* app = AfxGetApp();
    if (!app)
        return 1;
    // The program's work is done inside InitInstance; its result only says whether a message
    // loop of the application's own should follow, and none does.
    app->InitInstance();
    return 0;
}
