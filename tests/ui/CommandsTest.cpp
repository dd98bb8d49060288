// The window's commands over real temporary scheme files: Replace, Find Only, Create batch file,
// the viewing commands, and the About box, context menu and web link around them.
#include "UiTestSupport.h"

#include <Maker.h>
#include <SafeFile.h>

#include <QAction>
#include <QContextMenuEvent>
#include <QGuiApplication>
#include <QMenu>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QTest>
#include <QTimer>

#include <algorithm>
#include <cerrno>
#include <filesystem>

namespace {

const std::string kBefore = "PLATE,P1,MAT=AH36,THK=12.0\nSTIFF,S1,MAT=AH36\n";
const std::string kAfter = "PLATE,P1,MAT=AH40,THK=12.0\nSTIFF,S1,MAT=AH40\n";
const std::string kOther = "PLATE,P9,MAT=EH36\n";

// A mouse move over the window: what ends a cursor that a command set.
void MoveMouse(QWidget* window) {
    QMouseEvent move(QEvent::MouseMove, QPointF(5, 5), QPointF(5, 5), Qt::NoButton, Qt::NoButton,
                     Qt::NoModifier);
    QCoreApplication::sendEvent(window->windowHandle(), &move);
}

Qt::CursorShape OverrideShape() {
    const QCursor* cursor = QGuiApplication::overrideCursor();
    return cursor ? cursor->shape() : Qt::BitmapCursor;
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t nl = text.find('\n', start);
        lines.push_back(text.substr(start, nl - start));
        if (nl == std::string::npos)
            break;
        start = nl + 1;
    }
    return lines;
}

// The file path of each record of a change log, in order.
std::vector<CString> LoggedFiles(const std::string& log) {
    std::vector<CString> files;
    for (const std::string& line : Lines(log)) {
        const std::size_t first = line.find(" -> ");
        if (first == std::string::npos)
            continue;
        const std::size_t second = line.find(" -> ", first + 4);
        files.push_back(line.substr(first + 4, second - first - 4));
    }
    return files;
}

// Counts the paints of a widget and the height of each region painted.
class PaintWatch : public QObject {
public:
    explicit PaintWatch(QWidget* widget) { widget->installEventFilter(this); }
    int paints = 0;
    std::vector<int> heights; // of each painted region

protected:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Paint) {
            ++paints;
            heights.push_back(static_cast<QPaintEvent*>(event)->region().boundingRect().height());
        }
        return false;
    }
};

} // namespace

class CommandsTest : public QObject {
    Q_OBJECT

private slots:
    void init();
    void replaceRewritesExactlyTheSelectedFilesInOrder();
    void replaceKeepsAnEarlierChangeAndFillsInDefaults();
    void replaceWithoutSelectionHasAlreadyPreparedTheOutputFiles();
    void replaceFollowsTheOptionBoxes();
    void replaceMarksUnreadableAndUnwritableFilesAndGoesOn();
    void replaceLeavesAFileWhoseWriteFailsAsItWas();
    void replaceTellsOnceWhenTheChangeLogCannotBeWritten();
    void replaceRepaintsOnlyWhatChangedAfterEachFile();
    void findOnlyMarksEveryListedFileWithoutTouchingAny();
    void findOnlyOnAnEmptyListOnlySetsTheCursor();
    void createBatchFileAppendsTheSelectedPathsOnce();
    void createBatchFileWithoutSelectionHasAlreadyDeleted();
    void createBatchFileSaysSoWhenTheFileCannotBeWritten();
    void openStartsOneEditorPerSelectedFileInOrder();
    void showCommandsOpenThePathsLastBuilt();
    void resetClearsStatusAndNote();
    void aboutOpensForEverySystemCommandOfItsRange();
    void contextMenuOffersOpenAndExcludeAnywhere();
    void webLinkStartsTheBrowserOnEveryClick();
    void minimisedIconIsCentredTowardZero();
};

void CommandsTest::init() {
    qunsetenv("VELDRAN_EDITOR");
}

void CommandsTest::replaceRewritesExactlyTheSelectedFilesInOrder() {
    DialogFixture f;
    std::vector<CString> paths;
    for (const char* name : {"a.sch", "b.sch", "c.sch", "d.sch", "e.sch", "f.sch"})
        paths.push_back(f.env.Scheme(name, kBefore));
    f.Add({paths[3], paths[0], paths[5], paths[1], paths[4], paths[2]});
    f.Type(IDC_FIND_TEXT, "AH36");
    f.Type(IDC_REPLACE_TEXT, "AH40");
    f.Click(IDC_FIND_ONLY);
    QCOMPARE(f.Column(1), std::vector<CString>(6, "*"));

    MoveMouse(f.dlg.get());
    f.Select({0, 2, 5});
    f.Click(IDC_REPLACE);
    for (int i = 0; i < 6; ++i) {
        const bool selected = i == 0 || i == 2 || i == 5;
        QCOMPARE(ReadFile(paths[i]), selected ? kAfter : kBefore);
    }
    QCOMPARE(f.Column(1), std::vector<CString>({"READY", "*", "READY", "*", "*", "READY"}));
    QCOMPARE(f.Column(2), std::vector<CString>({"CHANGE", "", "CHANGE", "", "", "CHANGE"}));
    QCOMPARE(f.dlg->m_strCurrentFile, paths[5]);
    QCOMPARE(f.dlg->m_bChanged, 1);
    // Two changed lines per file, logged file by file in list order.
    QCOMPARE(LoggedFiles(ReadFile(f.dlg->m_strLogPath)),
             std::vector<CString>({paths[0], paths[0], paths[2], paths[2], paths[5], paths[5]}));
    QVERIFY(f.shell.messages.empty());
    // The up-arrow, not the plain arrow, until the mouse moves.
    QCOMPARE(GetTransientCursor(), HCURSOR(Qt::UpArrowCursor));
    QCOMPARE(OverrideShape(), Qt::UpArrowCursor);
    MoveMouse(f.dlg.get());
    QCOMPARE(GetTransientCursor(), HCURSOR());
    QVERIFY(!QGuiApplication::overrideCursor());
}

void CommandsTest::replaceKeepsAnEarlierChangeAndFillsInDefaults() {
    DialogFixture f;
    const CString changed = f.env.Scheme("a.sch", kBefore);
    const CString untouched = f.env.Scheme("b.sch", kOther);
    f.Add({changed, untouched});
    f.Type(IDC_FIND_TEXT, "AH36");
    f.Type(IDC_REPLACE_TEXT, "AH40");
    f.Select({0, 1});
    f.Click(IDC_REPLACE);
    QCOMPARE(f.Column(1), std::vector<CString>({"READY", "READY"}));
    QCOMPARE(f.Column(2), std::vector<CString>({"CHANGE", ""}));
    QCOMPARE(f.Text(IDC_LOG_NAME), QString("VELDRAN"));
    QCOMPARE(f.Text(IDC_BATCH_NAME), QString("VELDRAN_BATCH"));
    QCOMPARE(f.dlg->m_strLogPath, f.env.Dir("log") + "/VELDRAN.log");
    QCOMPARE(f.dlg->m_strBatchPath, f.env.Dir("data") + "/VELDRAN_BATCH.dat");

    // The second run finds nothing to replace: the first run's CHANGE stays.
    f.Click(IDC_REPLACE);
    QCOMPARE(ReadFile(changed), kAfter);
    QCOMPARE(f.Column(1), std::vector<CString>({"READY", "READY"}));
    QCOMPARE(f.Column(2), std::vector<CString>({"CHANGE", ""}));
    QCOMPARE(f.dlg->m_bChanged, 0);
}

void CommandsTest::replaceWithoutSelectionHasAlreadyPreparedTheOutputFiles() {
    DialogFixture f;
    const CString file = f.env.Scheme("a.sch", kBefore);
    f.Add({file});
    const CString log = f.env.Dir("log") + "/VELDRAN.log";
    WriteFile(log, "earlier records\n");
    f.Click(IDC_DELETE_LOG);
    f.Type(IDC_FIND_TEXT, "AH36");
    MoveMouse(f.dlg.get());
    f.Click(IDC_REPLACE);

    QCOMPARE(f.shell.messages.size(), std::size_t{1});
    QCOMPARE(f.shell.messages[0].text, CString("Operation Failed. No item has been selected!"));
    QCOMPARE(f.shell.messages[0].caption, AppName());
    QCOMPARE(f.shell.messages[0].cursor, HCURSOR(Qt::WaitCursor));
    QVERIFY(!Exists(log));
    QCOMPARE(f.Text(IDC_LOG_NAME), QString("VELDRAN"));
    QCOMPARE(f.Text(IDC_BATCH_NAME), QString("VELDRAN_BATCH"));
    QCOMPARE(ReadFile(file), kBefore);
    QCOMPARE(f.Column(1), std::vector<CString>({""}));
    // The command ends without setting the cursor back; the next mouse move does.
    QCOMPARE(GetTransientCursor(), HCURSOR(Qt::WaitCursor));
    MoveMouse(f.dlg.get());
    QVERIFY(!QGuiApplication::overrideCursor());
}

void CommandsTest::replaceFollowsTheOptionBoxes() {
    DialogFixture f;
    const CString a = f.env.Scheme("a.sch", kBefore);
    const CString b = f.env.Scheme("b.sch", kOther);
    f.Add({a, b});
    f.Type(IDC_FIND_TEXT, "AH36");
    f.Type(IDC_REPLACE_TEXT, "AH40");
    // Log off, batch data on: no log, and only the changed file goes into the batch data.
    f.Click(IDC_CREATE_LOG);
    f.Click(IDC_CREATE_BATCH_DATA);
    f.Select({0, 1});
    f.Click(IDC_REPLACE);
    QVERIFY(!Exists(f.dlg->m_strLogPath));
    QCOMPARE(ReadFile(f.dlg->m_strBatchPath), a + "\n");

    // Log on again, batch data off, on a file that changes.
    WriteFile(b, kBefore);
    f.Click(IDC_CREATE_LOG);
    f.Click(IDC_CREATE_BATCH_DATA);
    f.Click(IDC_REPLACE);
    QCOMPARE(LoggedFiles(ReadFile(f.dlg->m_strLogPath)), std::vector<CString>({b, b}));
    QCOMPARE(ReadFile(f.dlg->m_strBatchPath), a + "\n");
}

void CommandsTest::replaceMarksUnreadableAndUnwritableFilesAndGoesOn() {
    DialogFixture f;
    const CString first = f.env.Scheme("a.sch", kBefore);
    const CString directory = f.env.Dir("schemes") + "/b.sch";
    std::filesystem::create_directory(directory);
    const CString readOnly = f.env.Scheme("c.sch", kBefore);
    std::filesystem::permissions(readOnly, std::filesystem::perms::owner_read |
                                               std::filesystem::perms::group_read |
                                               std::filesystem::perms::others_read);
    const CString vanished = f.env.Scheme("d.sch", kBefore);
    const CString last = f.env.Scheme("e.sch", kBefore);
    f.Add({first, directory, readOnly, vanished, last});
    std::filesystem::remove(vanished);
    f.Type(IDC_FIND_TEXT, "AH36");
    f.Type(IDC_REPLACE_TEXT, "AH40");
    f.Click(IDC_CREATE_BATCH_DATA);
    f.Select({0, 1, 2, 3, 4});
    f.Click(IDC_REPLACE);

    QCOMPARE(f.Column(1), std::vector<CString>({"READY", "ERROR", "ERROR", "ERROR", "READY"}));
    QCOMPARE(f.Column(2), std::vector<CString>({"CHANGE", "", "", "", "CHANGE"}));
    // Each failure says why, on its item.
    QCOMPARE(f.dlg->m_listFiles.GetItemToolTip(0), CString());
    for (int i = 1; i <= 3; ++i)
        QVERIFY2(f.dlg->m_listFiles.GetItemToolTip(i).find("cannot") != std::string::npos,
                 f.dlg->m_listFiles.GetItemToolTip(i).c_str());
    QVERIFY(f.dlg->m_listFiles.GetItemToolTip(2).find("read-only") != std::string::npos);
    QCOMPARE(ReadFile(readOnly), kBefore);
    QVERIFY(!Exists(vanished));
    QCOMPARE(ReadFile(last), kAfter);
    QCOMPARE(LoggedFiles(ReadFile(f.dlg->m_strLogPath)),
             std::vector<CString>({first, first, last, last}));
    QCOMPARE(ReadFile(f.dlg->m_strBatchPath), first + "\n" + last + "\n");
    QVERIFY(f.shell.messages.empty());

    // A later success clears the reason with the status.
    std::filesystem::permissions(readOnly, std::filesystem::perms::owner_write,
                                 std::filesystem::perm_options::add);
    f.Select({2});
    f.Click(IDC_REPLACE);
    QCOMPARE(f.dlg->m_listFiles.GetItemText(2, 1), CString("READY"));
    QCOMPARE(f.dlg->m_listFiles.GetItemToolTip(2), CString());
}

void CommandsTest::replaceLeavesAFileWhoseWriteFailsAsItWas() {
    // The rename that would put the second file's new text in place fails.
    class FailSecondRename : public veldran::WriteFaults {
    public:
        int Inject(veldran::WriteStep step) override {
            return step == veldran::WriteStep::Rename && ++m_renames == 2 ? EIO : 0;
        }

    private:
        int m_renames = 0;
    } faults;
    DialogFixture f;
    const CString a = f.env.Scheme("a.sch", kBefore);
    const CString b = f.env.Scheme("b.sch", kBefore);
    const CString c = f.env.Scheme("c.sch", kBefore);
    f.Add({a, b, c});
    f.dlg->m_pWriteFaults = &faults;
    f.Type(IDC_FIND_TEXT, "AH36");
    f.Type(IDC_REPLACE_TEXT, "AH40");
    f.Click(IDC_CREATE_BATCH_DATA);
    f.Select({0, 1, 2});
    f.Click(IDC_REPLACE);
    QCOMPARE(f.Column(1), std::vector<CString>({"READY", "ERROR", "READY"}));
    QCOMPARE(f.Column(2), std::vector<CString>({"CHANGE", "", "CHANGE"}));
    QCOMPARE(ReadFile(b), kBefore);
    QCOMPARE(ReadFile(c), kAfter);
    QVERIFY(!f.dlg->m_listFiles.GetItemToolTip(1).empty());
    // Nothing is recorded for the file that was not written.
    QCOMPARE(LoggedFiles(ReadFile(f.dlg->m_strLogPath)), std::vector<CString>({a, a, c, c}));
    QCOMPARE(ReadFile(f.dlg->m_strBatchPath), a + "\n" + c + "\n");
}

void CommandsTest::replaceTellsOnceWhenTheChangeLogCannotBeWritten() {
    DialogFixture f;
    const CString a = f.env.Scheme("a.sch", kBefore);
    const CString b = f.env.Scheme("b.sch", kBefore);
    f.Add({a, b});
    const CString log = f.env.Dir("log") + "/VELDRAN.log";
    std::filesystem::create_directory(log);
    f.Type(IDC_FIND_TEXT, "AH36");
    f.Type(IDC_REPLACE_TEXT, "AH40");
    f.Select({0, 1});
    f.Click(IDC_REPLACE);

    // The scheme files are safe; only the log failed, and it is told once, by name.
    QCOMPARE(ReadFile(a), kAfter);
    QCOMPARE(ReadFile(b), kAfter);
    QCOMPARE(f.Column(1), std::vector<CString>({"READY", "READY"}));
    QCOMPARE(f.shell.messages.size(), std::size_t{1});
    const FakeShell::Message& m = f.shell.messages[0];
    QVERIFY2(m.text.find(log) != std::string::npos, m.text.c_str());
    QVERIFY2(m.text.find("change log") != std::string::npos, m.text.c_str());
    QCOMPARE(m.caption, AppName());
    QCOMPARE(m.type, MB_OK | MB_ICONWARNING);
    QCOMPARE(m.cursor, HCURSOR(Qt::UpArrowCursor));
}

void CommandsTest::replaceRepaintsOnlyWhatChangedAfterEachFile() {
    DialogFixture f;
    std::vector<CString> paths;
    for (int i = 0; i < 60; ++i)
        paths.push_back(f.env.Scheme("f" + std::to_string(100 + i) + ".sch", kBefore));
    f.Add(paths);
    f.Type(IDC_FIND_TEXT, "AH36");
    f.Type(IDC_REPLACE_TEXT, "AH40");
    f.Select({});
    f.dlg->m_listFiles.SetItemState(-1, LVIS_SELECTED, LVIS_SELECTED);
    ListView* view = f.dlg->m_listFiles.View();
    QVERIFY(QTest::qWaitForWindowExposed(f.dlg.get()));
    QCoreApplication::processEvents(); // paint what Add and the selection left

    PaintWatch watch(view->viewport());
    f.dlg->OnBnClickedReplace();
    const int rowHeight = view->rowHeight(0);
    const int rowsInView = view->viewport()->height() / rowHeight;
    QVERIFY(rowsInView > 4);
    // Progress is painted during the command, file by file: the row of the file, and the whole
    // view only when a new page of the list scrolls in.
    QVERIFY2(watch.paints >= 60, QByteArray::number(watch.paints));
    const auto large = std::count_if(watch.heights.begin(), watch.heights.end(),
                                     [&](int h) { return h > 2 * rowHeight; });
    QVERIFY2(large <= 60 / (rowsInView - 1) + 1, QByteArray::number(qlonglong(large)));
    // The last file is in view.
    const QRect last = view->visualRect(view->Model().index(59, 0));
    QVERIFY(view->viewport()->rect().contains(last));
    QCOMPARE(f.dlg->m_listFiles.GetItemText(59, 2), CString("CHANGE"));
}

void CommandsTest::findOnlyMarksEveryListedFileWithoutTouchingAny() {
    DialogFixture f;
    const CString hit = f.env.Scheme("a.sch", kBefore);
    const CString miss = f.env.Scheme("b.sch", kOther);
    const CString empty = f.env.Scheme("c.sch", "");
    const CString otherCase = f.env.Scheme("d.sch", "MAT=ah36\n");
    const CString directory = f.env.Dir("schemes") + "/e.sch";
    std::filesystem::create_directory(directory);
    const std::vector<CString> files{hit, miss, empty, otherCase};
    const auto old = std::filesystem::file_time_type::clock::now() - std::chrono::hours(24 * 400);
    for (const CString& file : files)
        std::filesystem::last_write_time(file, old);
    f.Add({hit, miss, empty, otherCase, directory});

    // After a Replace that changed the first file, so READY and CHANGE are shown.
    f.Type(IDC_FIND_TEXT, "THK=12.0");
    f.Type(IDC_REPLACE_TEXT, "THK=12.5");
    f.Select({0, 1});
    f.Click(IDC_REPLACE);
    QCOMPARE(f.Column(1), std::vector<CString>({"READY", "READY", "", "", ""}));
    std::filesystem::last_write_time(hit, old);

    // Unselected items are searched too; the typed text is read first.
    f.Select({});
    f.Type(IDC_FIND_TEXT, "AH36");
    f.Click(IDC_FIND_ONLY);
    QCOMPARE(f.Column(1), std::vector<CString>({"*", "", "", "", "ERROR"}));
    QCOMPARE(f.Column(2), std::vector<CString>({"CHANGE", "", "", "", ""}));
    QVERIFY(f.dlg->m_listFiles.GetItemToolTip(4).find("cannot") != std::string::npos);
    QCOMPARE(f.dlg->m_strCurrentFile, directory);
    for (const CString& file : files)
        QVERIFY(std::filesystem::last_write_time(file) == old);
    QCOMPARE(ReadFile(miss), kOther);
    QCOMPARE(GetTransientCursor(), HCURSOR(Qt::UpArrowCursor));

    // An empty find text is in every file with a character in it.
    f.Type(IDC_FIND_TEXT, "");
    f.Click(IDC_FIND_ONLY);
    QCOMPARE(f.Column(1), std::vector<CString>({"*", "*", "", "*", "ERROR"}));
    QVERIFY(f.shell.messages.empty());
}

void CommandsTest::findOnlyOnAnEmptyListOnlySetsTheCursor() {
    DialogFixture f;
    MoveMouse(f.dlg.get());
    f.Click(IDC_FIND_ONLY);
    QCOMPARE(GetTransientCursor(), HCURSOR(Qt::UpArrowCursor));
    QVERIFY(f.shell.messages.empty());
    QCOMPARE(f.dlg->m_listFiles.GetItemCount(), 0);
}

void CommandsTest::createBatchFileAppendsTheSelectedPathsOnce() {
    DialogFixture f;
    const CString a = f.env.Scheme("a.sch", kBefore);
    const CString b = f.env.Scheme("b.sch", kBefore);
    const CString c = f.env.Scheme("c.sch", kBefore);
    f.Add({c, a, b, f.env.Dir("schemes") + "/gone.sch"});
    f.dlg->m_listFiles.SetItemText(0, 2, "CHANGE");
    f.dlg->m_listFiles.SetItemText(1, 1, "*");
    // The log's Delete Existing box is of no concern to this command.
    const CString log = f.env.Dir("log") + "/VELDRAN.log";
    WriteFile(log, "kept\n");
    f.Click(IDC_DELETE_LOG);
    QVERIFY(!f.Checked(IDC_CREATE_BATCH_DATA));

    f.Select({0, 2, 3});
    f.Click(IDC_CREATE_BATCH_FILE);
    const CString batch = f.env.Dir("data") + "/VELDRAN_BATCH.dat";
    const CString block = a + "\n" + c + "\n" + f.env.Dir("schemes") + "/gone.sch\n\n";
    QCOMPARE(f.dlg->m_strBatchPath, batch);
    QCOMPARE(ReadFile(batch), block);
    QCOMPARE(f.Column(1), std::vector<CString>({"READY", "*", "READY", "READY"}));
    QCOMPARE(f.Column(2), std::vector<CString>({"CHANGE", "", "", ""}));
    QCOMPARE(f.Text(IDC_BATCH_NAME), QString("VELDRAN_BATCH"));
    QCOMPARE(f.dlg->m_strLogPath, CString());
    QCOMPARE(ReadFile(log), std::string("kept\n"));
    QCOMPARE(ReadFile(a), kBefore);

    QCOMPARE(f.shell.messages.size(), std::size_t{1});
    QCOMPARE(f.shell.messages[0].text, "Batch file created \n\n" + batch);
    QCOMPARE(f.shell.messages[0].caption, CString("Batch file ready"));
    QCOMPARE(f.shell.messages[0].type, MB_OK);
    QCOMPARE(f.shell.messages[0].cursor, HCURSOR(Qt::UpArrowCursor));

    // A second run adds its block behind the first.
    f.Select({1});
    f.Click(IDC_CREATE_BATCH_FILE);
    QCOMPARE(ReadFile(batch), block + b + "\n\n");
    QCOMPARE(f.shell.messages.size(), std::size_t{2});
}

void CommandsTest::createBatchFileWithoutSelectionHasAlreadyDeleted() {
    DialogFixture f;
    f.Add({f.env.Scheme("a.sch", kBefore)});
    f.Type(IDC_BATCH_NAME, "run");
    const CString batch = f.env.Dir("data") + "/run.dat";
    WriteFile(batch, "earlier\n");
    f.Click(IDC_DELETE_BATCH);
    MoveMouse(f.dlg.get());
    f.Click(IDC_CREATE_BATCH_FILE);
    QVERIFY(!Exists(batch));
    QCOMPARE(f.shell.messages.size(), std::size_t{1});
    QCOMPARE(f.shell.messages[0].text, CString("Operation Failed. No item has been selected!"));
    QCOMPARE(f.shell.messages[0].cursor, HCURSOR(Qt::WaitCursor));
    QCOMPARE(f.Column(1), std::vector<CString>({""}));
    QCOMPARE(f.dlg->m_strBatchPath, batch);
}

void CommandsTest::createBatchFileSaysSoWhenTheFileCannotBeWritten() {
    DialogFixture f;
    const CString a = f.env.Scheme("a.sch", kBefore);
    f.Add({a});
    const CString batch = f.env.Dir("data") + "/VELDRAN_BATCH.dat";
    std::filesystem::create_directory(batch);
    f.Select({0});
    f.Click(IDC_CREATE_BATCH_FILE);
    // One message, naming the file and why, and no word of a batch file created.
    QCOMPARE(f.shell.messages.size(), std::size_t{1});
    const CString& text = f.shell.messages[0].text;
    QVERIFY2(text.find(batch) != std::string::npos, text.c_str());
    QVERIFY2(text.find("batch data file") != std::string::npos, text.c_str());
    QVERIFY(text.find("Batch file created") == std::string::npos);
    QCOMPARE(f.shell.messages[0].type, MB_OK | MB_ICONWARNING);
}

void CommandsTest::openStartsOneEditorPerSelectedFileInOrder() {
    DialogFixture f;
    const CString dir = f.env.Dir("schemes") + "/";
    f.Add({dir + "c d.sch", dir + "a.sch", dir + "e.sch", dir + "b.sch"});
    f.dlg->OnListOpen();
    QCOMPARE(f.shell.messages.size(), std::size_t{1});
    QVERIFY(f.shell.processes.empty());

    qputenv("VELDRAN_EDITOR", "my-editor --new-window");
    f.Select({3, 0, 2});
    f.dlg->GetMenu()->GetSubMenu(0)->Menu()->actions().at(0)->trigger(); // "Open"
    QCOMPARE(f.shell.processes.size(), std::size_t{3});
    const CString expected[] = {dir + "a.sch", dir + "c d.sch", dir + "e.sch"};
    for (int i = 0; i < 3; ++i) {
        QCOMPARE(f.shell.processes[i].program, CString("my-editor"));
        // The path is one argument, blanks and all.
        QCOMPARE(f.shell.processes[i].arguments,
                 std::vector<CString>({"--new-window", expected[i]}));
    }
    QCOMPARE(f.dlg->m_strCurrentFile, expected[2]);

    // Without a chosen editor, the desktop's opener.
    qunsetenv("VELDRAN_EDITOR");
    f.Select({1});
    f.dlg->OnListOpen();
    QCOMPARE(f.shell.processes.back().program, CString("xdg-open"));
    QCOMPARE(f.shell.processes.back().arguments, std::vector<CString>({dir + "b.sch"}));
}

void CommandsTest::showCommandsOpenThePathsLastBuilt() {
    DialogFixture f;
    f.Add({f.env.Scheme("a.sch", kBefore)});
    // Before any Replace or Create batch file both paths are empty.
    f.Click(IDC_SHOW_LOG);
    f.Click(IDC_SHOW_BATCH);
    QCOMPARE(f.shell.processes.size(), std::size_t{2});
    QCOMPARE(f.shell.processes[0].arguments, std::vector<CString>({""}));
    QCOMPARE(f.shell.processes[1].arguments, std::vector<CString>({""}));

    f.Select({0});
    f.Click(IDC_CREATE_BATCH_FILE);
    f.Click(IDC_SHOW_BATCH);
    QCOMPARE(f.shell.processes.back().arguments, std::vector<CString>({f.dlg->m_strBatchPath}));
    QVERIFY(f.shell.messages.back().text.find(f.dlg->m_strBatchPath) != std::string::npos);

    f.Type(IDC_FIND_TEXT, "AH36");
    f.Click(IDC_REPLACE);
    const CString builtLog = f.dlg->m_strLogPath;
    // A new base name takes effect only at the next Replace; Show Log File reads it in, though.
    f.Type(IDC_LOG_NAME, "other");
    f.Click(IDC_SHOW_LOG);
    QCOMPARE(f.shell.processes.back().arguments, std::vector<CString>({builtLog}));
    QCOMPARE(f.dlg->m_strLogName, CString("other"));
}

void CommandsTest::resetClearsStatusAndNote() {
    DialogFixture f;
    f.Click(IDC_RESET_STATUS); // an empty list: nothing to do
    const CString a = f.env.Scheme("a.sch", kBefore);
    const CString dir = f.env.Dir("schemes") + "/b.sch";
    std::filesystem::create_directory(dir);
    f.Add({a, dir, f.env.Scheme("c.sch", kOther)});
    f.Type(IDC_FIND_TEXT, "AH36");
    f.Select({0, 1});
    f.Click(IDC_REPLACE);
    f.dlg->m_listFiles.SetItemText(2, 1, "PROCESSING");
    f.Select({2});
    f.Click(IDC_RESET_STATUS);
    QCOMPARE(f.Column(1), std::vector<CString>(3));
    QCOMPARE(f.Column(2), std::vector<CString>(3));
    QCOMPARE(f.dlg->m_listFiles.GetItemToolTip(1), CString());
    QCOMPARE(f.dlg->m_listFiles.GetSelectedCount(), 1u);
    QCOMPARE(f.Column(0)[0], a);
}

void CommandsTest::aboutOpensForEverySystemCommandOfItsRange() {
    DialogFixture f;
    for (UINT id = 0x0010; id <= 0x001F; ++id)
        f.dlg->SendSysCommand(id, 0);
    QCOMPARE(f.shell.modals.size(), std::size_t{16});
    const FakeShell::Modal& about = f.shell.modals.front();
    QCOMPARE(about.caption, QString("About veldran"));
    QVERIFY(about.texts.contains("veldran Version 1.1"));
    QVERIFY(about.texts.contains("OK"));
    QVERIFY(about.texts.contains(QString::fromLatin1(kWebAddress)));

    f.dlg->SendSysCommand(0x0020, 0);
    f.dlg->SendSysCommand(0x0000, 0);
    QCOMPARE(f.shell.modals.size(), std::size_t{16});
    // The menu item that stands in for the system menu's.
    f.dlg->GetSystemMenu(FALSE)->Menu()->actions().back()->trigger();
    QCOMPARE(f.shell.modals.size(), std::size_t{17});

    // In a real modal run, Enter is the About box's OK.
    f.shell.runModal = [](CDialog& dialog) {
        QTimer::singleShot(0, &dialog, [&dialog] { QTest::keyClick(&dialog, Qt::Key_Return); });
        return dialog.exec();
    };
    int result = 0;
    f.shell.runModal = [inner = f.shell.runModal, &result](CDialog& dialog) {
        result = inner(dialog);
        return result;
    };
    f.dlg->SendSysCommand(IDM_ABOUTBOX, 0);
    QCOMPARE(result, int(IDOK));

    // Other system commands do what the platform does: close closes.
    QVERIFY(f.dlg->isVisible());
    f.dlg->SendSysCommand(SC_CLOSE, 0);
    QVERIFY(!f.dlg->isVisible());
    QCOMPARE(f.shell.modals.size(), std::size_t{18});
}

void CommandsTest::contextMenuOffersOpenAndExcludeAnywhere() {
    DialogFixture f;
    f.Add({"/s/1.sch", "/s/2.sch", "/s/3.sch"});
    ListView* view = f.dlg->m_listFiles.View();
    const auto request = [](QWidget* widget) {
        const QPoint at = widget->rect().center();
        QContextMenuEvent event(QContextMenuEvent::Mouse, at, widget->mapToGlobal(at));
        QCoreApplication::sendEvent(widget, &event);
    };

    // Nothing selected: the menu still shows, and its commands complain.
    f.shell.choose = "Exclude";
    request(view->viewport());
    QCOMPARE(f.shell.popups.size(), std::size_t{1});
    QCOMPARE(f.shell.popups[0], QStringList({"Open", "Exclude"}));
    QCOMPARE(f.shell.messages.size(), std::size_t{1});
    f.shell.choose = "Open";
    request(f.Item(IDC_PROJECT_NAME));
    QCOMPARE(f.shell.popups.size(), std::size_t{2});
    QCOMPARE(f.shell.messages.size(), std::size_t{2});

    f.Select({1});
    f.shell.choose = "Exclude";
    request(view->viewport());
    QCOMPARE(f.Column(0), std::vector<CString>({"/s/1.sch", "/s/3.sch"}));
    QCOMPARE(f.Text(IDC_LISTED), QString("Listed : 2"));
}

void CommandsTest::webLinkStartsTheBrowserOnEveryClick() {
    DialogFixture f;
    f.Click(IDC_WEB_LINK);
    f.Click(IDC_WEB_LINK);
    QCOMPARE(f.shell.urls, std::vector<CString>({kWebAddress, kWebAddress}));
}

void CommandsTest::minimisedIconIsCentredTowardZero() {
    QCOMPARE(CenteredIconOrigin(QRect(0, 0, 0, 0), 32, 32), QPoint(-15, -15));
    QCOMPARE(CenteredIconOrigin(QRect(0, 0, 100, 51), 32, 32), QPoint(34, 10));
    QCOMPARE(GetSystemMetrics(SM_CXICON), 32);
}

QTEST_MAIN(CommandsTest)
#include "CommandsTest.moc"
