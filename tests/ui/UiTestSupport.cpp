#include "UiTestSupport.h"

#include <QAbstractButton>
#include <QAction>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QTest>

#include <fstream>
#include <sstream>

int FakeShell::MessageBox(QWidget*, const CString& text, const CString& caption, UINT type) {
    messages.push_back({text, caption, type, GetTransientCursor()});
    return IDOK;
}

bool FakeShell::GetOpenFileNames(QWidget*, const OpenFileRequest& request,
                                 std::vector<CString>& paths) {
    fileRequests.push_back(request);
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
    modal.caption = dialog.windowTitle();
    for (QWidget* item : dialog.TemplateItems()) {
        if (auto* label = qobject_cast<QLabel*>(item); label && !label->text().isEmpty())
            modal.texts << label->text();
        else if (auto* button = qobject_cast<QAbstractButton*>(item))
            modal.texts << button->text();
    }
    modals.push_back(modal);
    return runModal ? runModal(dialog) : IDOK;
}

void FakeShell::TrackPopupMenu(QMenu& menu, const QPoint&, QWidget*) {
    QStringList texts;
    QAction* chosen = nullptr;
    for (QAction* action : menu.actions()) {
        texts << action->text();
        if (!choose.isEmpty() && action->text() == choose)
            chosen = action;
    }
    popups.push_back(texts);
    if (chosen)
        chosen->trigger();
}

void FakeShell::StartProcess(const CString& program, const std::vector<CString>& arguments) {
    processes.push_back({program, arguments});
}

void FakeShell::OpenUrl(const CString& url) {
    urls.push_back(url);
}

TestEnvironment::TestEnvironment() {
    m_hadTable = qEnvironmentVariableIsSet("TB_ENV_TABLE");
    m_oldTable = qgetenv("TB_ENV_TABLE");
    QDir root(m_dir.path());
    root.mkdir("schemes");
    root.mkdir("log");
    root.mkdir("data");
    WriteTable("SB_PROJECT=Alpha\nSB_SHIPSCH=" + Dir("schemes") + "\nSB_SHIPDATA=" + Dir("data") +
               "\nSB_TEMP=" + Dir("log") + "\n");
    qputenv("TB_ENV_TABLE", QByteArray::fromStdString(TablePath()));
}

TestEnvironment::~TestEnvironment() {
    if (m_hadTable)
        qputenv("TB_ENV_TABLE", m_oldTable);
    else
        qunsetenv("TB_ENV_TABLE");
    // A test may leave read-only files behind; the directory must still go.
    QDir(m_dir.path()).removeRecursively();
}

CString TestEnvironment::Dir(const char* name) const {
    return FromQString(m_dir.path()) + "/" + name;
}

CString TestEnvironment::Scheme(const std::string& name, const std::string& content) const {
    const CString path = Dir("schemes") + "/" + name;
    WriteFile(path, content);
    return path;
}

void TestEnvironment::WriteTable(const std::string& content) const {
    WriteFile(TablePath(), content);
}

CString TestEnvironment::TablePath() const {
    return FromQString(m_dir.path()) + "/env_table.txt";
}

DialogFixture::DialogFixture() : dlg(std::make_unique<CMainDlg>()) {
    dlg->Create();
}

DialogFixture::~DialogFixture() {
    dlg.reset();
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

QString DialogFixture::Text(int id) const {
    if (auto* edit = qobject_cast<QLineEdit*>(Item(id)))
        return edit->text();
    if (auto* label = qobject_cast<QLabel*>(Item(id)))
        return label->text();
    return QString();
}

void DialogFixture::Type(int id, const QString& text) {
    auto* edit = qobject_cast<QLineEdit*>(Item(id));
    QVERIFY(edit);
    edit->clear();
    QTest::keyClicks(edit, text);
}

void DialogFixture::Click(int id) {
    QWidget* widget = Item(id);
    QVERIFY(widget);
    QTest::mouseClick(widget, Qt::LeftButton, Qt::NoModifier, widget->rect().center());
}

bool DialogFixture::Checked(int id) const {
    auto* button = qobject_cast<QAbstractButton*>(Item(id));
    return button && button->isChecked();
}

std::vector<CString> DialogFixture::Column(int column) const {
    std::vector<CString> texts;
    for (int i = 0; i < dlg->m_listFiles.GetItemCount(); ++i)
        texts.push_back(dlg->m_listFiles.GetItemText(i, column));
    return texts;
}

std::string ReadFile(const CString& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

void WriteFile(const CString& path, const std::string& content) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << content;
}

bool Exists(const CString& path) {
    return QFileInfo::exists(ToQString(path));
}

CString AppName() {
    return FromQString(QFileInfo(QCoreApplication::applicationFilePath()).completeBaseName());
}
