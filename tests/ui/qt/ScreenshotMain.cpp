// Draws the window for the README: the main dialog on the demo environment with the demo scheme
// files added, two of them selected and replaced, grabbed to a PNG; given two more names, the
// Preview Replace dialog over every file (before the Replace), and the window after Undo Last
// Replace. Run by screenshot.sh under Xvfb; the file dialog answers with every scheme file of
// the demo, a modal dialog is grabbed and closed, message boxes are not shown; everything else
// is real.
#include <MainDlg.h>
#include <WinApp.h>
#include <qt/Handles.h>
#include <qt/QtShell.h>

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QPixmap>
#include <QWidget>

#include <cstdio>

namespace {

class DemoShell : public QtShell {
public:
    explicit DemoShell(QString schemeDir) : m_schemeDir(std::move(schemeDir)) {}
    bool GetOpenFileNames(CWnd*, const OpenFileRequest&, std::vector<CString>& paths,
                          CString&) override {
        const QDir dir(m_schemeDir);
        for (const QString& name : dir.entryList({"*.sch"}, QDir::Files))
            paths.push_back(FromQString(QDir::toNativeSeparators(dir.filePath(name))));
        return true;
    }

    int MessageBox(CWnd*, const CString&, const CString&, UINT) override { return IDOK; }
    int RunModalLoop(CDialog& dialog) override;
    QString modalShot; // where the next modal dialog is grabbed to

private:
    QString m_schemeDir;
};

void Settle() {
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < 500)
        QApplication::processEvents(QEventLoop::AllEvents, 50);
}

int DemoShell::RunModalLoop(CDialog& dialog) {
    QWidget* window = WidgetOf(dialog.m_hWnd);
    window->show();
    Settle();
    if (!modalShot.isEmpty())
        window->grab().save(modalShot, "PNG");
    dialog.EndDialog(IDCANCEL);
    return IDCANCEL;
}

} // namespace

int main(int argc, char** argv) {
    WindowSystem windows(argc, argv);
    if (argc != 3 && argc != 5) {
        std::fprintf(stderr,
                     "usage: %s <scheme directory> <output.png> [<preview.png> <undo.png>]\n",
                     argv[0]);
        return 2;
    }
    DemoShell shell(QString::fromLocal8Bit(argv[1]));
    AfxSetShell(&shell);

    CMainDlg dlg;
    dlg.Create();
    Settle();
    dlg.SendMessage(WM_COMMAND, IDC_ADD_FILES);
    dlg.SetDlgItemText(IDC_FIND_TEXT, "AH36");
    dlg.SetDlgItemText(IDC_REPLACE_TEXT, "AH40");
    if (argc == 5) {
        dlg.m_listFiles.SetItemState(-1, LVIS_SELECTED, LVIS_SELECTED);
        shell.modalShot = QString::fromLocal8Bit(argv[3]);
        dlg.SendMessage(WM_COMMAND, ID_EDIT_PREVIEW_REPLACE);
        dlg.m_listFiles.SetItemState(-1, 0, LVIS_SELECTED);
    }
    dlg.m_listFiles.SetItemState(0, LVIS_SELECTED, LVIS_SELECTED);
    dlg.m_listFiles.SetItemState(1, LVIS_SELECTED, LVIS_SELECTED);
    // The counter, as a click on the list sets it.
    NMHDR click{dlg.m_listFiles.m_hWnd, IDC_FILE_LIST, NM_CLICK};
    dlg.SendMessage(WM_NOTIFY, IDC_FILE_LIST, reinterpret_cast<LPARAM>(&click));
    dlg.SendMessage(WM_COMMAND, IDC_REPLACE);
    Settle();

    bool saved = WidgetOf(dlg.m_hWnd)->grab().save(QString::fromLocal8Bit(argv[2]), "PNG");
    if (argc == 5) {
        dlg.SendMessage(WM_COMMAND, ID_EDIT_UNDO_REPLACE);
        Settle();
        saved = saved && WidgetOf(dlg.m_hWnd)->grab().save(QString::fromLocal8Bit(argv[4]), "PNG");
    }
    AfxSetShell(nullptr);
    return saved ? 0 : 1;
}
