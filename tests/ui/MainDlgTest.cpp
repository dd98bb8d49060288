// The main window's state, template, file list and exchanges, driven through its real controls.
#include "UiTestSupport.h"

#include <QAction>
#include <QCheckBox>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QTest>
#include <QTimer>

class MainDlgTest : public QObject {
    Q_OBJECT

private slots:
    void startsWithTheEnvironmentTableShown();
    void startsEmptyWithoutATable();
    void buildsEveryControlOfTheTemplateInPlace();
    void tabsThroughTheControlsInTemplateOrder();
    void menusOfferTheListCommandsAndAbout();
    void addFillsTheListSortedFromTheFileDialog();
    void addCancelledOrRepeatedEmptiesTheListFirst();
    void sortsByPathIgnoringCaseThenByBytes();
    void selectionWalkVisitsSelectedItemsInOrder();
    void clickOnTheListCountsTheSelection();
    void removeDeletesEverySelectedItem();
    void removeWithoutSelectionOnlyComplains();
    void removeWritesOlderMembersBackIntoTheEdits();
    void checkBoxTakesTheTypedTextsIntoTheState();
    void preparesOutputPathsFromDirectoryAndBaseName();
    void exitEscapeAndCloseBoxEndTheModalRun();
};

void MainDlgTest::startsWithTheEnvironmentTableShown() {
    DialogFixture f;
    CMainDlg& d = *f.dlg;
    QCOMPARE(d.windowTitle(), QString("veldran"));
    QCOMPARE(d.m_strProjectName, CString("Project Name: Alpha"));
    QCOMPARE(d.m_strSchemeDir, f.env.Dir("schemes") + "/");
    QCOMPARE(f.Text(IDC_PROJECT_NAME), QString("Project Name: Alpha"));
    QCOMPARE(f.Text(IDC_LOG_DIR), ToQString(f.env.Dir("log") + "/"));
    QCOMPARE(f.Text(IDC_BATCH_DIR), ToQString(f.env.Dir("data") + "/"));
    // The first exchange writes the empty counters over the template's placeholders.
    QCOMPARE(f.Text(IDC_LISTED), QString());
    QCOMPARE(f.Text(IDC_SELECTED), QString());
    QCOMPARE(f.Text(IDC_FIND_TEXT), QString());
    QCOMPARE(f.Text(IDC_LOG_NAME), QString());

    // The log box is ticked after the exchange, so its member still says 0.
    QVERIFY(f.Checked(IDC_CREATE_LOG));
    QCOMPARE(d.m_bCreateLog, FALSE);
    QVERIFY(!f.Checked(IDC_CREATE_BATCH_DATA));
    QVERIFY(!f.Checked(IDC_DELETE_LOG));
    QVERIFY(!f.Checked(IDC_DELETE_BATCH));
    QCOMPARE(d.m_btnCreateLog.GetCheck(), BST_CHECKED);

    QCOMPARE(d.m_listFiles.GetItemCount(), 0);
    const ListModel& model = d.m_listFiles.View()->Model();
    QCOMPARE(model.columnCount(), 3);
    const QHeaderView* header = d.m_listFiles.View()->horizontalHeader();
    const QStringList headings{"Input File", "Status", "Note"};
    const int widths[] = {475, 50, 75};
    for (int c = 0; c < 3; ++c) {
        QCOMPARE(model.headerData(c, Qt::Horizontal).toString(), headings[c]);
        QCOMPARE(header->sectionSize(c), widths[c]);
    }
    QVERIFY(d.m_listFiles.View()->showGrid());
    QCOMPARE(d.m_listFiles.GetExtendedStyle(), DWORD{9});
    QVERIFY(!d.windowIcon().isNull());
}

void MainDlgTest::startsEmptyWithoutATable() {
    ShellScope scope;
    TestEnvironment env;
    qunsetenv("TB_ENV_TABLE");
    CMainDlg d;
    d.Create();
    QCOMPARE(d.m_strProjectName, CString());
    QCOMPARE(d.m_strLogDir, CString());
    QCOMPARE(d.m_strBatchDir, CString());
    QCOMPARE(d.m_strSchemeDir, CString());
    QVERIFY(d.m_btnCreateLog.GetCheck() == BST_CHECKED);

    // A table whose only entry is the project still gives every directory its separator.
    env.WriteTable("SB_PROJECT=P\n");
    qputenv("TB_ENV_TABLE", QByteArray::fromStdString(env.TablePath()));
    CMainDlg d2;
    d2.Create();
    QCOMPARE(d2.m_strBatchDir, CString("/"));
    QCOMPARE(d2.m_strProjectName, CString("Project Name: P"));
}

void MainDlgTest::buildsEveryControlOfTheTemplateInPlace() {
    DialogFixture f;
    CMainDlg& d = *f.dlg;
    const DialogTemplate* t = d.Template();
    QVERIFY(t);
    QCOMPARE(int(t->items.size()), 30);
    QCOMPARE(int(d.TemplateItems().size()), 30);

    const BaseUnits units = d.Units();
    QVERIFY(units.cx > 0 && units.cy > 0);
    // The client area is the template's size in dialog units, below the menu bar.
    QCOMPARE(d.ClientArea()->width(), MulDiv(531, units.cx, 4));
    QCOMPARE(d.ClientArea()->height(), MulDiv(264, units.cy, 8));
    QCOMPARE(d.height(), d.ClientArea()->y() + d.ClientArea()->height());
    QVERIFY(d.ClientArea()->y() > 0);

    for (std::size_t i = 0; i < t->items.size(); ++i) {
        const DialogItemTemplate& item = t->items[i];
        QWidget* w = d.TemplateItems()[i];
        QCOMPARE(w->parentWidget(), d.ClientArea());
        const QRect expected(MulDiv(item.x, units.cx, 4), MulDiv(item.y, units.cy, 8),
                             MulDiv(item.x + item.cx, units.cx, 4) - MulDiv(item.x, units.cx, 4),
                             MulDiv(item.y + item.cy, units.cy, 8) - MulDiv(item.y, units.cy, 8));
        QCOMPARE(w->geometry(), expected);
        if (item.id != IDC_STATIC)
            QCOMPARE(d.GetDlgItem(item.id), w);
    }

    // The kinds of control the classes and styles ask for.
    QVERIFY(qobject_cast<QPushButton*>(f.Item(IDC_REPLACE)));
    QVERIFY(qobject_cast<QCheckBox*>(f.Item(IDC_DELETE_BATCH)));
    QVERIFY(qobject_cast<QLineEdit*>(f.Item(IDC_BATCH_NAME)));
    QVERIFY(dynamic_cast<ListView*>(f.Item(IDC_FILE_LIST)));
    QVERIFY(qobject_cast<QGroupBox*>(d.TemplateItems()[27]));
    QCOMPARE(qobject_cast<QLabel*>(f.Item(IDC_LOG_DIR))->alignment() & Qt::AlignHorizontal_Mask,
             Qt::AlignRight);
    QCOMPARE(qobject_cast<QPushButton*>(f.Item(IDC_ADD_FILES))->text(), QString("Add *.sch File"));
    QCOMPARE(qobject_cast<QCheckBox*>(f.Item(IDC_CREATE_BATCH_DATA))->text(),
             QString("Create Batch Data File"));

    // The OK of the template exists but can neither be seen nor used.
    QWidget* ok = f.Item(IDOK);
    QVERIFY(ok);
    QVERIFY(!ok->isVisible());
    QVERIFY(!ok->isEnabled());
    QVERIFY(f.Item(IDCANCEL)->isVisible());

    // Group boxes lie beneath the controls they frame and let clicks through to them.
    QWidget* listFrame = d.TemplateItems()[28];
    QVERIFY(listFrame->testAttribute(Qt::WA_TransparentForMouseEvents));
    const QPoint onList = f.Item(IDC_FILE_LIST)->geometry().center();
    QWidget* hit = d.ClientArea()->childAt(onList);
    QVERIFY(hit == f.Item(IDC_FILE_LIST) || f.Item(IDC_FILE_LIST)->isAncestorOf(hit));
}

void MainDlgTest::tabsThroughTheControlsInTemplateOrder() {
    DialogFixture f;
    const int expected[] = {
        IDCANCEL,         IDC_FILE_LIST,         IDC_ADD_FILES,   IDC_REMOVE,     IDC_FIND_TEXT,
        IDC_REPLACE_TEXT, IDC_REPLACE,           IDC_FIND_ONLY,   IDC_CREATE_LOG, IDC_LOG_NAME,
        IDC_SHOW_LOG,     IDC_CREATE_BATCH_DATA, IDC_BATCH_NAME,  IDC_SHOW_BATCH, IDC_DELETE_LOG,
        IDC_DELETE_BATCH, IDC_CREATE_BATCH_FILE, IDC_RESET_STATUS};
    // Walk the focus chain as Tab does: only visible, enabled controls that take tab focus.
    QWidget* w = f.Item(IDCANCEL);
    std::vector<int> order;
    const QWidget* start = w;
    do {
        if (w->isVisibleTo(f.dlg.get()) && w->isEnabled() && (w->focusPolicy() & Qt::TabFocus) &&
            !w->objectName().isEmpty() && f.dlg->ClientArea()->isAncestorOf(w))
            order.push_back(w->objectName().toInt());
        w = w->nextInFocusChain();
    } while (w != start && order.size() < 40);
    QCOMPARE(order, std::vector<int>(std::begin(expected), std::end(expected)));
}

void MainDlgTest::menusOfferTheListCommandsAndAbout() {
    DialogFixture f;
    CMenu* bar = f.dlg->GetMenu();
    QVERIFY(bar && bar->Bar());
    CMenu* popup = bar->GetSubMenu(0);
    QVERIFY(popup);
    QCOMPARE(popup->Menu()->title(), QString());
    QStringList items;
    for (QAction* a : popup->Menu()->actions())
        items << a->text();
    QCOMPARE(items, QStringList({"Open", "Exclude"}));

    // The About item goes where the system menu is; here a menu of the bar stands in for it.
    CMenu* system = f.dlg->GetSystemMenu(FALSE);
    QVERIFY(system && system->Menu());
    QVERIFY(system->Menu()->menuAction()->isVisible());
    const QList<QAction*> actions = system->Menu()->actions();
    QCOMPARE(actions.size(), 2);
    QVERIFY(actions[0]->isSeparator());
    QCOMPARE(actions[1]->text(), QString("&About veldran..."));
    QCOMPARE(LoadResourceString(IDS_ABOUTBOX), CString("&About veldran..."));
    QCOMPARE(LoadResourceString(9999), CString());
}

void MainDlgTest::addFillsTheListSortedFromTheFileDialog() {
    DialogFixture f;
    const CString dir = f.env.Dir("schemes") + "/";
    f.Add({dir + "d.sch", dir + "b.sch", dir + "e.sch", dir + "a.sch", dir + "c.sch"});

    QCOMPARE(f.shell.fileRequests.size(), std::size_t{1});
    const OpenFileRequest& request = f.shell.fileRequests.front();
    QCOMPARE(request.initialDir, dir);
    QCOMPARE(request.filterDescription, CString("Scheme File"));
    QCOMPARE(request.filterPattern, CString("*.sch"));
    QCOMPARE(request.flags, DWORD{0x880220});

    QCOMPARE(f.Column(0), std::vector<CString>({dir + "a.sch", dir + "b.sch", dir + "c.sch",
                                                dir + "d.sch", dir + "e.sch"}));
    QCOMPARE(f.Column(1), std::vector<CString>(5));
    QCOMPARE(f.Column(2), std::vector<CString>(5));
    QCOMPARE(f.Text(IDC_LISTED), QString("Listed : 5"));
    QCOMPARE(f.Text(IDC_SELECTED), QString("Selected : 0"));
    // A path that does not exist is listed like any other.
    f.Add({dir + "missing.sch"});
    QCOMPARE(f.Column(0), std::vector<CString>({dir + "missing.sch"}));
}

void MainDlgTest::addCancelledOrRepeatedEmptiesTheListFirst() {
    DialogFixture f;
    f.Add({"/x/1.sch", "/x/2.sch"});
    f.dlg->m_listFiles.SetItemText(0, 1, "READY");
    f.dlg->m_listFiles.SetItemText(0, 2, "CHANGE");

    // A second choice replaces the first, with none of its texts.
    f.Add({"/y/3.sch", "/x/1.sch"});
    QCOMPARE(f.Column(0), std::vector<CString>({"/x/1.sch", "/y/3.sch"}));
    QCOMPARE(f.Column(1), std::vector<CString>(2));
    QCOMPARE(f.Column(2), std::vector<CString>(2));

    // Cancelled: the list was emptied before the dialog opened.
    f.Select({0});
    f.shell.fileAnswers.push_back(std::nullopt);
    f.Click(IDC_ADD_FILES);
    QCOMPARE(f.dlg->m_listFiles.GetItemCount(), 0);
    QCOMPARE(f.Text(IDC_LISTED), QString("Listed : 0"));
    QCOMPARE(f.Text(IDC_SELECTED), QString("Selected : 0"));
}

void MainDlgTest::sortsByPathIgnoringCaseThenByBytes() {
    DialogFixture f;
    f.Add({"/s/b.sch", "/s/B2.sch", "/s/a.sch", "/s/ab.sch", "/s/A.sch", "/s/a b.sch", "/s/a.sch",
           "/r/z.sch"});
    QCOMPARE(f.Column(0), std::vector<CString>({"/r/z.sch", "/s/a b.sch", "/s/A.sch", "/s/a.sch",
                                                "/s/a.sch", "/s/ab.sch", "/s/b.sch", "/s/B2.sch"}));
    QVERIFY(ListModel::SortsBefore("A", "a"));
    QVERIFY(!ListModel::SortsBefore("a", "A"));
    QVERIFY(ListModel::SortsBefore("a", "B"));
    QVERIFY(ListModel::SortsBefore("ab", "abc"));
}

void MainDlgTest::selectionWalkVisitsSelectedItemsInOrder() {
    DialogFixture f;
    f.Add({"/s/1.sch", "/s/2.sch", "/s/3.sch", "/s/4.sch", "/s/5.sch", "/s/6.sch"});
    CListCtrl& list = f.dlg->m_listFiles;
    QCOMPARE(list.GetNextItem(-1, LVNI_SELECTED), -1);
    QCOMPARE(list.GetNextItem(-1, LVNI_ALL), 0);
    f.Select({5, 0, 2});
    QCOMPARE(list.GetSelectedCount(), 3u);
    QCOMPARE(list.GetNextItem(-1, LVNI_SELECTED), 0);
    QCOMPARE(list.GetNextItem(0, LVNI_SELECTED), 2);
    QCOMPARE(list.GetNextItem(2, LVNI_SELECTED), 5);
    QCOMPARE(list.GetNextItem(5, LVNI_SELECTED), -1);
    QCOMPARE(list.GetNextItem(3, LVNI_SELECTED), 5);

    // Deleting an item moves the later ones down, and their selection with them.
    list.DeleteItem(0);
    QCOMPARE(list.GetNextItem(-1, LVNI_SELECTED), 1);
    QCOMPARE(list.GetItemText(1, 0), CString("/s/3.sch"));
    QCOMPARE(list.GetNextItem(1, LVNI_SELECTED), 4);
}

void MainDlgTest::clickOnTheListCountsTheSelection() {
    DialogFixture f;
    f.Add({"/s/1.sch", "/s/2.sch", "/s/3.sch"});
    ListView* view = f.dlg->m_listFiles.View();
    QWidget* viewport = view->viewport();
    const QRect row0 = view->visualRect(view->Model().index(0, 0));
    const QRect row2 = view->visualRect(view->Model().index(2, 0));

    // A click also takes the typed texts into the state before the counter is shown.
    f.Type(IDC_FIND_TEXT, "PLATE");
    QTest::mouseClick(viewport, Qt::LeftButton, Qt::NoModifier, row0.center());
    QTest::mouseClick(viewport, Qt::LeftButton, Qt::ControlModifier, row2.center());
    QCOMPARE(f.dlg->m_listFiles.GetSelectedCount(), 2u);
    QCOMPARE(f.Text(IDC_SELECTED), QString("Selected : 2"));
    QCOMPARE(f.dlg->m_strFind, CString("PLATE"));
    // Only the Selected text changes: Listed keeps what it showed.
    f.dlg->m_listFiles.DeleteItem(1);
    QTest::mouseClick(viewport, Qt::LeftButton, Qt::ControlModifier, row0.center());
    QCOMPARE(f.Text(IDC_SELECTED), QString("Selected : 1"));
    QCOMPARE(f.Text(IDC_LISTED), QString("Listed : 3"));

    // Selecting without a click (here by program, as the keyboard would) leaves the counter.
    f.Select({0, 1});
    QCOMPARE(f.Text(IDC_SELECTED), QString("Selected : 1"));
    // A click below the last item clears the selection, and the counter follows.
    const QPoint below(row0.center().x(), viewport->height() - 3);
    QTest::mouseClick(viewport, Qt::LeftButton, Qt::NoModifier, below);
    QCOMPARE(f.Text(IDC_SELECTED), QString("Selected : 0"));
}

void MainDlgTest::removeDeletesEverySelectedItem() {
    DialogFixture f;
    f.Add({"/s/1.sch", "/s/2.sch", "/s/3.sch", "/s/4.sch", "/s/5.sch"});
    f.Select({1, 3});
    f.Click(IDC_REMOVE);
    QCOMPARE(f.Column(0), std::vector<CString>({"/s/1.sch", "/s/3.sch", "/s/5.sch"}));
    QCOMPARE(f.Text(IDC_LISTED), QString("Listed : 3"));
    QCOMPARE(f.Text(IDC_SELECTED), QString("Selected : 0"));

    // "Exclude" of the menu is the same command.
    f.Select({0, 1, 2});
    f.dlg->GetMenu()->GetSubMenu(0)->Menu()->actions().at(1)->trigger();
    QCOMPARE(f.dlg->m_listFiles.GetItemCount(), 0);
    QCOMPARE(f.Text(IDC_LISTED), QString("Listed : 0"));
    QVERIFY(f.shell.messages.empty());
}

void MainDlgTest::removeWithoutSelectionOnlyComplains() {
    DialogFixture f;
    f.Add({"/s/1.sch", "/s/2.sch"});
    f.Type(IDC_FIND_TEXT, "typed");
    f.Click(IDC_REMOVE);
    QCOMPARE(f.shell.messages.size(), std::size_t{1});
    QCOMPARE(f.shell.messages[0].text, CString("Operation Failed. No item has been selected!"));
    QCOMPARE(f.shell.messages[0].caption, AppName());
    QCOMPARE(f.shell.messages[0].type, MB_OK);
    QCOMPARE(f.dlg->m_listFiles.GetItemCount(), 2);
    QCOMPARE(f.Text(IDC_LISTED), QString("Listed : 2"));
    // No exchange ran: the typed text is still in its edit and not in the state.
    QCOMPARE(f.Text(IDC_FIND_TEXT), QString("typed"));
    QCOMPARE(f.dlg->m_strFind, CString());
}

void MainDlgTest::removeWritesOlderMembersBackIntoTheEdits() {
    DialogFixture f;
    f.Type(IDC_FIND_TEXT, "old find");
    f.Type(IDC_LOG_NAME, "oldlog");
    f.Add({"/s/1.sch", "/s/2.sch"}); // its exchange takes both texts
    f.Type(IDC_FIND_TEXT, "new find");
    f.Type(IDC_LOG_NAME, "newlog");
    f.Type(IDC_REPLACE_TEXT, "new replace");
    f.Select({0});
    f.Click(IDC_REMOVE);
    QCOMPARE(f.Text(IDC_FIND_TEXT), QString("old find"));
    QCOMPARE(f.Text(IDC_LOG_NAME), QString("oldlog"));
    QCOMPARE(f.Text(IDC_REPLACE_TEXT), QString());
    // The boxes keep what the user set, since the exchange before brought the member in line.
    QVERIFY(f.Checked(IDC_CREATE_LOG));

    // Add, on the other hand, reads the edits first.
    f.Type(IDC_FIND_TEXT, "kept");
    f.Add({"/s/1.sch"});
    QCOMPARE(f.Text(IDC_FIND_TEXT), QString("kept"));
    QCOMPARE(f.dlg->m_strFind, CString("kept"));
}

void MainDlgTest::checkBoxTakesTheTypedTextsIntoTheState() {
    DialogFixture f;
    f.Type(IDC_FIND_TEXT, "FR24");
    f.Type(IDC_REPLACE_TEXT, "FR25");
    f.Type(IDC_BATCH_NAME, "batch one");
    f.Click(IDC_DELETE_LOG);
    QVERIFY(f.Checked(IDC_DELETE_LOG));
    QCOMPARE(f.dlg->m_strFind, CString("FR24"));
    QCOMPARE(f.dlg->m_strReplace, CString("FR25"));
    QCOMPARE(f.dlg->m_strBatchName, CString("batch one"));
    QCOMPARE(f.dlg->m_bCreateLog, TRUE);

    f.Click(IDC_CREATE_LOG);
    QVERIFY(!f.Checked(IDC_CREATE_LOG));
    QCOMPARE(f.dlg->m_bCreateLog, FALSE);
    QCOMPARE(f.dlg->m_btnCreateLog.GetCheck(), BST_UNCHECKED);
    f.Click(IDC_CREATE_BATCH_DATA);
    QCOMPARE(f.dlg->m_btnCreateBatchData.GetCheck(), BST_CHECKED);
    // No exchange ever changes the three boxes without a member.
    f.dlg->UpdateData(FALSE);
    QVERIFY(f.Checked(IDC_CREATE_BATCH_DATA));
    QVERIFY(f.Checked(IDC_DELETE_LOG));
}

void MainDlgTest::preparesOutputPathsFromDirectoryAndBaseName() {
    DialogFixture f;
    CMainDlg& d = *f.dlg;
    const CString log = f.env.Dir("log") + "/";
    const CString data = f.env.Dir("data") + "/";
    QCOMPARE(d.m_strLogPath, CString());
    QCOMPARE(d.m_strBatchPath, CString());

    // Empty names get their defaults, which the edits then show.
    d.PrepareLogPath();
    d.PrepareBatchPath();
    QCOMPARE(d.m_strLogPath, log + "VELDRAN.log");
    QCOMPARE(d.m_strBatchPath, data + "VELDRAN_BATCH.dat");
    QCOMPARE(f.Text(IDC_LOG_NAME), QString("VELDRAN"));
    QCOMPARE(f.Text(IDC_BATCH_NAME), QString("VELDRAN_BATCH"));

    // A name is taken as typed: an extension in it is not recognised, blanks are a name.
    f.Type(IDC_LOG_NAME, "run.log");
    f.Type(IDC_BATCH_NAME, "  ");
    d.UpdateData(TRUE);
    d.PrepareLogPath();
    d.PrepareBatchPath();
    QCOMPARE(d.m_strLogPath, log + "run.log.log");
    QCOMPARE(d.m_strBatchPath, data + "  .dat");

    // A file is deleted only while its own Delete Existing box is ticked.
    WriteFile(d.m_strLogPath, "old log\n");
    WriteFile(d.m_strBatchPath, "old batch\n");
    f.Click(IDC_DELETE_LOG);
    d.PrepareLogPath();
    d.PrepareBatchPath();
    QVERIFY(!Exists(d.m_strLogPath));
    QVERIFY(Exists(d.m_strBatchPath));
    f.Click(IDC_DELETE_BATCH);
    d.PrepareBatchPath();
    QVERIFY(!Exists(d.m_strBatchPath));
}

void MainDlgTest::exitEscapeAndCloseBoxEndTheModalRun() {
    ShellScope scope;
    TestEnvironment env;
    // Each way out is taken from inside a real modal run.
    const std::vector<std::function<void(CMainDlg&)>> ways = {
        [](CMainDlg& d) {
            auto* exit = d.GetDlgItem(IDCANCEL);
            QTest::mouseClick(exit, Qt::LeftButton, Qt::NoModifier, exit->rect().center());
        },
        [](CMainDlg& d) { QTest::keyClick(&d, Qt::Key_Escape); },
        [](CMainDlg& d) { d.close(); },
    };
    for (const auto& way : ways) {
        scope.shell.runModal = [&way](CDialog& dialog) {
            QTimer::singleShot(0, &dialog, [&] { way(static_cast<CMainDlg&>(dialog)); });
            return dialog.exec();
        };
        CMainDlg d;
        QCOMPARE(d.DoModal(), int(IDCANCEL));
        QVERIFY(!d.isVisible());
    }
}

QTEST_MAIN(MainDlgTest)
#include "MainDlgTest.moc"
