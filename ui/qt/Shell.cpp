#include "QtShell.h"

#include "DialogWindow.h"
#include "Handles.h"
#include "Menu.h"
#include "Resource.h"

#include <QAction>
#include <QDesktopServices>
#include <QDir>
#include <QFileDialog>
#include <QMenu>
#include <QMessageBox>
#include <QProcess>
#include <QUrl>

namespace {

QWidget* WidgetOfWnd(CWnd* wnd) {
    return wnd ? WidgetOf(wnd->m_hWnd) : nullptr;
}

} // namespace

int QtShell::MessageBox(CWnd* owner, const CString& text, const CString& caption, UINT type) {
    QMessageBox box(WidgetOfWnd(owner));
    box.setWindowTitle(ToQString(caption));
    box.setText(ToQString(text));
    box.setTextFormat(Qt::PlainText);
    box.setIcon((type & MB_ICONWARNING) == MB_ICONWARNING ? QMessageBox::Warning
                                                          : QMessageBox::NoIcon);
    box.setStandardButtons(QMessageBox::Ok);
    box.exec();
    return IDOK;
}

bool QtShell::GetOpenFileNames(CWnd* owner, const OpenFileRequest& request,
                               std::vector<CString>& paths, CString& /*error*/) {
    QFileDialog dialog(WidgetOfWnd(owner));
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
    DialogWindow* window = DialogWindowOf(dialog.m_hWnd);
    if (!window)
        return -1;
    if (dialog.ContinueModal())
        window->exec();
    return dialog.GetModalResult();
}

UINT QtShell::TrackPopupMenu(CMenu& menu, UINT /*flags*/, CPoint screenPos, CWnd* /*owner*/) {
    // Left-aligned at the point, chosen with the left button: Qt's pop-up works so already.
    auto* popup = qobject_cast<QMenu*>(MenuWidgetOf(menu.m_hMenu));
    if (!popup)
        return 0;
    QAction* chosen = popup->exec(QPoint(screenPos.x, screenPos.y));
    return chosen && !chosen->isSeparator() ? chosen->data().toUInt() : 0;
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

Shell& AfxGetPlatformShell() {
    static QtShell shell;
    return shell;
}

void StartTextEditor(const CString& path) {
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
}
