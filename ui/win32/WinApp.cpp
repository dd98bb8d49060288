// The Win32 backend's application: the common controls, and the program's name.
#include "Backend.h"

#include "WinApp.h"

#include <filesystem>
#include <vector>

CString AfxGetAppName() {
    if (CWinApp* app = AfxGetApp(); app && app->m_pszAppName)
        return app->m_pszAppName;
    std::vector<char> path(MAX_PATH);
    DWORD length = 0;
    while ((length = GetModuleFileNameA(nullptr, path.data(), static_cast<DWORD>(path.size()))) ==
           path.size())
        path.resize(path.size() * 2);
    return std::filesystem::path(CString(path.data(), length)).stem().string();
}

struct WindowSystem::Impl {};

WindowSystem::WindowSystem(int& /*argc*/, char** /*argv*/) {
    EnsureCommonControls();
}

WindowSystem::~WindowSystem() = default;
