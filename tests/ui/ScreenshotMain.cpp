// Draws the window for the README: the main dialog on the demo environment with the demo scheme
// files added, two of them selected and replaced, grabbed to a PNG. Run by screenshot.sh under
// Xvfb; the file dialog answers with every scheme file of the demo, everything else is real.
#include <MainDlg.h>
#include <Shell.h>

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QPixmap>

#include <cstdio>

namespace {

class DemoShell : public QtShell {
public:
    explicit DemoShell(QString schemeDir) : m_schemeDir(std::move(schemeDir)) {}
    bool GetOpenFileNames(QWidget*, const OpenFileRequest&, std::vector<CString>& paths) override {
        const QDir dir(m_schemeDir);
        for (const QString& name : dir.entryList({"*.sch"}, QDir::Files))
            paths.push_back(FromQString(QDir::toNativeSeparators(dir.filePath(name))));
        return true;
    }

private:
    QString m_schemeDir;
};

void Settle() {
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < 500)
        QApplication::processEvents(QEventLoop::AllEvents, 50);
}

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s <scheme directory> <output.png>\n", argv[0]);
        return 2;
    }
    DemoShell shell(QString::fromLocal8Bit(argv[1]));
    AfxSetShell(&shell);

    CMainDlg dlg;
    dlg.Create();
    Settle();
    dlg.SendCommand(IDC_ADD_FILES);
    qobject_cast<QLineEdit*>(dlg.GetDlgItem(IDC_FIND_TEXT))->setText("AH36");
    qobject_cast<QLineEdit*>(dlg.GetDlgItem(IDC_REPLACE_TEXT))->setText("AH40");
    dlg.m_listFiles.SetItemState(0, LVIS_SELECTED, LVIS_SELECTED);
    dlg.m_listFiles.SetItemState(1, LVIS_SELECTED, LVIS_SELECTED);
    dlg.SendNotify(IDC_FILE_LIST, NM_CLICK); // the counter, as a click on the list sets it
    dlg.SendCommand(IDC_REPLACE);
    Settle();

    const bool saved = dlg.grab().save(QString::fromLocal8Bit(argv[2]), "PNG");
    AfxSetShell(nullptr);
    return saved ? 0 : 1;
}
