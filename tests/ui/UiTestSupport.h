#pragma once
// What the window tests share: a Shell that records instead of showing, a temporary environment
// (table, scheme, log and batch data directories) and a dialog created on it without a modal
// loop.

#include <Cursor.h>
#include <MainDlg.h>
#include <Shell.h>

#include <QTemporaryDir>

#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class QAction;

class FakeShell : public Shell {
public:
    struct Message {
        CString text;
        CString caption;
        UINT type;
        HCURSOR cursor; // the transient cursor while the box was up
    };
    struct Process {
        CString program;
        std::vector<CString> arguments;
    };
    struct Modal {
        QString caption;
        QStringList texts; // every label and button text of the dialog
    };

    // Answers of the file dialog, in order; nullopt is Cancel. With none left it cancels.
    std::deque<std::optional<std::vector<CString>>> fileAnswers;
    std::vector<OpenFileRequest> fileRequests;
    std::vector<Message> messages;
    std::vector<Process> processes;
    std::vector<CString> urls;
    std::vector<Modal> modals;
    // Runs a modal dialog; by default records it and ends it at once with IDOK.
    std::function<int(CDialog&)> runModal;
    // The pop-ups shown, by the texts of their items; `choose` picks one to trigger.
    std::vector<QStringList> popups;
    QString choose;

    int MessageBox(QWidget* owner, const CString& text, const CString& caption, UINT type) override;
    bool GetOpenFileNames(QWidget* owner, const OpenFileRequest& request,
                          std::vector<CString>& paths) override;
    int RunModalLoop(CDialog& dialog) override;
    void TrackPopupMenu(QMenu& menu, const QPoint& screenPos, QWidget* owner) override;
    void StartProcess(const CString& program, const std::vector<CString>& arguments) override;
    void OpenUrl(const CString& url) override;
};

// Installs a FakeShell for its lifetime.
class ShellScope {
public:
    ShellScope() : m_previous(AfxSetShell(&shell)) {}
    ~ShellScope() { AfxSetShell(m_previous); }
    FakeShell shell;

private:
    Shell* m_previous;
};

// A temporary environment: <root>/schemes, <root>/log, <root>/data and a table naming them.
class TestEnvironment {
public:
    TestEnvironment();
    ~TestEnvironment();
    QString Root() const { return m_dir.path(); }
    CString Dir(const char* name) const; // "<root>/<name>" without a separator at the end
    // Writes a scheme file into <root>/schemes and returns its path.
    CString Scheme(const std::string& name, const std::string& content) const;
    void WriteTable(const std::string& content) const;
    CString TablePath() const;

private:
    QTemporaryDir m_dir;
    QByteArray m_oldTable;
    bool m_hadTable;
};

// A main dialog created on the environment and shown offscreen, with a fake shell.
class DialogFixture {
public:
    DialogFixture();
    ~DialogFixture();
    ShellScope scope;
    FakeShell& shell = scope.shell;
    TestEnvironment env;
    std::unique_ptr<CMainDlg> dlg;

    // Adds the files through the dialog's own Add command (fake file dialog answers OK).
    void Add(const std::vector<CString>& paths);
    // Selects exactly these rows.
    void Select(const std::vector<int>& rows);
    QWidget* Item(int id) const { return dlg->GetDlgItem(id); }
    QString Text(int id) const;             // window text of an edit or static
    void Type(int id, const QString& text); // as if typed into an edit
    void Click(int id);                     // a left click on a button or a check box
    bool Checked(int id) const;
    std::vector<CString> Column(int column) const;
};

std::string ReadFile(const CString& path);
void WriteFile(const CString& path, const std::string& content);
bool Exists(const CString& path);
// The name message boxes without a caption carry: the test program's base name.
CString AppName();
