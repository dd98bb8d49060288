#pragma once
// What the window tests share on every backend: a Shell that records instead of showing, a
// temporary environment (table, scheme, log and batch data directories) and a main dialog
// created on it without a modal loop.

#include "TestDriver.h"

#include <MainDlg.h>
#include <Shell.h>
#include <TestSupport.h>

#include <gtest/gtest.h>

#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <vector>

class FakeShell : public Shell {
public:
    struct Message {
        CString text;
        CString caption;
        UINT type;
        HCURSOR cursor; // the cursor shown while the box was up
    };
    struct Process {
        CString program;
        std::vector<CString> arguments;
    };
    struct Modal {
        CString caption;
        std::vector<CString> texts; // every text of the dialog's controls, in template order
    };

    // Answers of the file dialog, in order; nullopt is Cancel. With none left it cancels.
    std::deque<std::optional<std::vector<CString>>> fileAnswers;
    CString fileError; // a failing file dialog's reason
    std::vector<OpenFileRequest> fileRequests;
    std::vector<Message> messages;
    std::vector<Process> processes;
    std::vector<CString> urls;
    std::vector<Modal> modals;
    // Runs a modal dialog; by default records it and ends it at once with IDOK.
    std::function<int(CDialog&)> runModal;
    // The pop-ups shown, by the texts of their items; `choose` picks one.
    std::vector<std::vector<CString>> popups;
    CString choose;

    int MessageBox(CWnd* owner, const CString& text, const CString& caption, UINT type) override;
    bool GetOpenFileNames(CWnd* owner, const OpenFileRequest& request, std::vector<CString>& paths,
                          CString& error) override;
    int RunModalLoop(CDialog& dialog) override;
    UINT TrackPopupMenu(CMenu& menu, UINT flags, CPoint screenPos, CWnd* owner) override;
    void StartProcess(const CString& program, const std::vector<CString>& arguments) override;
    void OpenUrl(const CString& url) override;
};

// Installs a FakeShell for its lifetime.
class ShellScope {
public:
    ShellScope() : m_previous(AfxSetShell(&shell)) {}
    ~ShellScope() { AfxSetShell(m_previous); }
    ShellScope(const ShellScope&) = delete;
    ShellScope& operator=(const ShellScope&) = delete;
    FakeShell shell;

private:
    Shell* m_previous;
};

// The separator the environment table puts after each directory.
extern const CString kSep;

// A temporary environment: <root>/schemes, <root>/log, <root>/data and a table naming them,
// named by TB_ENV_TABLE for its lifetime.
class TestEnvironment {
public:
    TestEnvironment();
    ~TestEnvironment();
    CString Dir(const char* name) const; // "<root><separator><name>", no separator at the end
    // Writes a scheme file into <root>/schemes and returns its path.
    CString Scheme(const std::string& name, const std::string& content) const;
    void WriteTable(const std::string& content) const;
    CString TablePath() const;

private:
    veldran::test::TempDir m_dir;
};

// A main dialog created on the environment and shown, with a fake shell.
class DialogFixture {
public:
    DialogFixture();
    ShellScope scope;
    FakeShell& shell = scope.shell;
    TestEnvironment env;
    std::unique_ptr<CMainDlg> dlg;

    // Adds the files through the dialog's own Add command (fake file dialog answers OK).
    void Add(const std::vector<CString>& paths);
    // Selects exactly these rows.
    void Select(const std::vector<int>& rows);
    CWnd* Item(int id) const { return dlg->GetDlgItem(id); }
    CString Text(int id) const;                     // window text of an edit or static
    void Type(int id, const CString& text);         // as if typed into an edit
    void Click(int id) { driver::Click(Item(id)); } // a left click on a control
    bool Checked(int id) const { return dlg->IsDlgButtonChecked(id) == BST_CHECKED; }
    std::vector<CString> Column(int column) const;
};

std::string ReadFile(const CString& path);
void WriteFile(const CString& path, const std::string& content);
bool Exists(const CString& path);
// The name message boxes without a caption carry: the test program's base name.
CString AppName();
// A text as this platform writes it into a text file: CR LF on Windows.
std::string Native(const std::string& text);
