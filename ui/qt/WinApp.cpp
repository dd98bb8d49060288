// The Qt backend's application: the QApplication that every window needs.
#include "WinApp.h"

#include "Handles.h"

#include <QApplication>
#include <QFileInfo>

CString AfxGetAppName() {
    if (CWinApp* app = AfxGetApp(); app && app->m_pszAppName)
        return app->m_pszAppName;
    const QString path = QCoreApplication::applicationFilePath();
    if (!path.isEmpty())
        return FromQString(QFileInfo(path).completeBaseName());
    return FromQString(QCoreApplication::applicationName());
}

struct WindowSystem::Impl {
    Impl(int& argc, char** argv) : application(argc, argv) {}
    QApplication application;
};

WindowSystem::WindowSystem(int& argc, char** argv) : m_impl(std::make_unique<Impl>(argc, argv)) {}

WindowSystem::~WindowSystem() = default;
