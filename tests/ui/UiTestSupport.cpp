#include "UiTestSupport.h"

#include <Platform.h>
#include <WinApp.h>

#include <cstdlib>
#include <filesystem>

namespace {

std::string g_programPath;

} // namespace

const CString kSep(1, veldran::kDirSeparator);

int FakeShell::MessageBox(CWnd*, const CString& text, const CString& caption, UINT type) {
    messages.push_back({text, caption, type, CWnd::GetCursor()});
    return IDOK;
}

bool FakeShell::GetOpenFileNames(CWnd*, const OpenFileRequest& request, std::vector<CString>& paths,
                                 CString& error) {
    fileRequests.push_back(request);
    error = fileError;
    if (fileAnswers.empty())
        return false;
    const std::optional<std::vector<CString>> answer = fileAnswers.front();
    fileAnswers.pop_front();
    if (!answer)
        return false;
    paths = *answer;
    return true;
}

int FakeShell::RunModalLoop(CDialog& dialog) {
    Modal modal;
    dialog.GetWindowText(modal.caption);
    for (const std::unique_ptr<CWnd>& item : dialog.TemplateItems()) {
        CString text;
        item->GetWindowText(text);
        if (!text.empty())
            modal.texts.push_back(text);
    }
    modals.push_back(modal);
    return runModal ? runModal(dialog) : IDOK;
}

UINT FakeShell::TrackPopupMenu(CMenu& menu, UINT, CPoint, CWnd*) {
    std::vector<CString> texts;
    UINT chosen = 0;
    for (int i = 0; i < menu.GetMenuItemCount(); ++i) {
        CString text;
        menu.GetMenuString(static_cast<UINT>(i), text, MF_BYPOSITION);
        texts.push_back(text);
        if (!choose.empty() && text == choose)
            chosen = menu.GetMenuItemID(i);
    }
    popups.push_back(texts);
    return chosen;
}

void FakeShell::StartProcess(const CString& program, const std::vector<CString>& arguments) {
    processes.push_back({program, arguments});
}

void FakeShell::OpenUrl(const CString& url) {
    urls.push_back(url);
}

TestEnvironment::TestEnvironment() {
    for (const char* name : {"schemes", "log", "data"})
        std::filesystem::create_directory(Dir(name));
    WriteTable("SB_PROJECT=Alpha\nSB_SHIPSCH=" + Dir("schemes") + "\nSB_SHIPDATA=" + Dir("data") +
               "\nSB_TEMP=" + Dir("log") + "\n");
    setenv("TB_ENV_TABLE", TablePath().c_str(), 1);
}

TestEnvironment::~TestEnvironment() {
    unsetenv("TB_ENV_TABLE");
}

CString TestEnvironment::Dir(const char* name) const {
    return m_dir.File(name);
}

CString TestEnvironment::Scheme(const std::string& name, const std::string& content) const {
    const CString path = Dir("schemes") + kSep + name;
    WriteFile(path, content);
    return path;
}

void TestEnvironment::WriteTable(const std::string& content) const {
    WriteFile(TablePath(), content);
}

CString TestEnvironment::TablePath() const {
    return m_dir.File("env_table.txt");
}

DialogFixture::DialogFixture() : dlg(std::make_unique<CMainDlg>()) {
    dlg->Create();
}

void DialogFixture::Add(const std::vector<CString>& paths) {
    shell.fileAnswers.push_back(paths);
    Click(IDC_ADD_FILES);
}

void DialogFixture::Select(const std::vector<int>& rows) {
    dlg->m_listFiles.SetItemState(-1, 0, LVIS_SELECTED);
    for (const int row : rows)
        dlg->m_listFiles.SetItemState(row, LVIS_SELECTED, LVIS_SELECTED);
}

CString DialogFixture::Text(int id) const {
    CString text;
    dlg->GetDlgItemText(id, text);
    return text;
}

void DialogFixture::Type(int id, const CString& text) {
    dlg->SetDlgItemText(id, text);
}

std::vector<CString> DialogFixture::Column(int column) const {
    std::vector<CString> texts;
    for (int i = 0; i < dlg->m_listFiles.GetItemCount(); ++i)
        texts.push_back(dlg->m_listFiles.GetItemText(i, column));
    return texts;
}

std::string ReadFile(const CString& path) {
    return Exists(path) ? veldran::test::ReadBytes(path) : std::string();
}

void WriteFile(const CString& path, const std::string& content) {
    veldran::test::WriteBytes(path, content);
}

bool Exists(const CString& path) {
    std::error_code ec;
    return std::filesystem::exists(path, ec);
}

CString AppName() {
    return std::filesystem::path(g_programPath).stem().string();
}

std::string Native(const std::string& text) {
    return veldran::test::Native(text);
}

int main(int argc, char** argv) {
    g_programPath = argc > 0 ? argv[0] : "";
#ifndef _WIN32
    // Qt's windows need no display to be driven; the suite runs offscreen unless told otherwise.
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
#endif
    WindowSystem windows(argc, argv);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
