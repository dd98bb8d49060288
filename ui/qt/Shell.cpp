#include "Shell.h"

#include "Dialog.h"
#include "Resource.h"

#include <QDesktopServices>
#include <QDir>
#include <QFileDialog>
#include <QMenu>
#include <QMessageBox>
#include <QProcess>
#include <QUrl>

int QtShell::MessageBox(QWidget* owner, const CString& text, const CString& caption, UINT type) {
    QMessageBox box(owner);
    box.setWindowTitle(ToQString(caption));
    box.setText(ToQString(text));
    box.setTextFormat(Qt::PlainText);
    box.setIcon((type & MB_ICONWARNING) == MB_ICONWARNING ? QMessageBox::Warning
                                                          : QMessageBox::NoIcon);
    box.setStandardButtons(QMessageBox::Ok);
    box.exec();
    return IDOK;
}

bool QtShell::GetOpenFileNames(QWidget* owner, const OpenFileRequest& request,
                               std::vector<CString>& paths) {
    QFileDialog dialog(owner);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFiles);
    dialog.setDirectory(ToQString(request.initialDir));
    dialog.setNameFilter(ToQString(request.filterDescription) + " (" +
                         ToQString(request.filterPattern) + ")");
    if (dialog.exec() != QDialog::Accepted)
        return false;
    paths.clear();
    for (const QString& file : dialog.selectedFiles())
        paths.push_back(FromQString(QDir::toNativeSeparators(file)));
    return true;
}

int QtShell::RunModalLoop(CDialog& dialog) {
    return dialog.exec();
}

void QtShell::TrackPopupMenu(QMenu& menu, const QPoint& screenPos, QWidget* /*owner*/) {
    menu.exec(screenPos);
}

void QtShell::StartProcess(const CString& program, const std::vector<CString>& arguments) {
    QStringList args;
    for (const CString& a : arguments)
        args << ToQString(a);
    QProcess::startDetached(ToQString(program), args);
}

void QtShell::OpenUrl(const CString& url) {
    QDesktopServices::openUrl(QUrl(ToQString(url)));
}

namespace {

Shell* g_shell = nullptr;

} // namespace

Shell& AfxGetShell() {
    static QtShell qtShell;
    if (g_shell)
        return *g_shell;
    return qtShell;
}

Shell* AfxSetShell(Shell* shell) {
    Shell* previous = g_shell;
    g_shell = shell;
    return previous;
}

void StartTextEditor(const CString& path) {
#ifdef Q_OS_WIN
    AfxGetShell().StartProcess("notepad.exe", {path});
#else
    const QString chosen = qEnvironmentVariable("VELDRAN_EDITOR").trimmed();
    if (chosen.isEmpty()) {
        AfxGetShell().StartProcess("xdg-open", {path});
        return;
    }
    // The variable may carry options ("gedit --new-window"); the path stays one argument.
    QStringList parts = QProcess::splitCommand(chosen);
    if (parts.isEmpty())
        return;
    const CString program = FromQString(parts.takeFirst());
    std::vector<CString> args;
    for (const QString& p : parts)
        args.push_back(FromQString(p));
    args.push_back(path);
    AfxGetShell().StartProcess(program, args);
#endif
}
