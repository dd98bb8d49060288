// The main window's state, template, file list and exchanges, driven through its real controls.
#include "UiTestSupport.h"

#include <algorithm>
#include <cctype>

using driver::Kind;

TEST(MainDlgTest, StartsWithTheEnvironmentTableShown) {
    DialogFixture f;
    CMainDlg& d = *f.dlg;
    CString caption;
    d.GetWindowText(caption);
    EXPECT_EQ(caption, "veldran");
    EXPECT_EQ(d.m_strProjectName, "Project Name: Alpha");
    EXPECT_EQ(d.m_strSchemeDir, f.env.Dir("schemes") + kSep);
    EXPECT_EQ(f.Text(IDC_PROJECT_NAME), "Project Name: Alpha");
    EXPECT_EQ(f.Text(IDC_LOG_DIR), f.env.Dir("log") + kSep);
    EXPECT_EQ(f.Text(IDC_BATCH_DIR), f.env.Dir("data") + kSep);
    // The first exchange writes the empty counters over the template's placeholders.
    for (const int id : {IDC_LISTED, IDC_SELECTED, IDC_FIND_TEXT, IDC_LOG_NAME})
        EXPECT_EQ(f.Text(id), "") << id;

    // The log box is ticked after the exchange, so its member still says 0.
    EXPECT_TRUE(f.Checked(IDC_CREATE_LOG));
    EXPECT_EQ(d.m_bCreateLog, FALSE);
    EXPECT_FALSE(f.Checked(IDC_CREATE_BATCH_DATA));
    EXPECT_FALSE(f.Checked(IDC_DELETE_LOG));
    EXPECT_FALSE(f.Checked(IDC_DELETE_BATCH));
    EXPECT_EQ(d.m_btnCreateLog.GetCheck(), BST_CHECKED);

    EXPECT_EQ(d.m_listFiles.GetItemCount(), 0);
    ASSERT_EQ(d.m_listFiles.GetColumnCount(), 3);
    const char* headings[] = {"Input File", "Status", "Note"};
    const int widths[] = {475, 50, 75};
    for (int c = 0; c < 3; ++c) {
        EXPECT_EQ(d.m_listFiles.GetColumnHeading(c), headings[c]);
        EXPECT_EQ(d.m_listFiles.GetColumnWidth(c), widths[c]);
    }
    // Grid lines, and no hot-track selection although the dialog asks for it.
    EXPECT_EQ(d.m_listFiles.GetExtendedStyle() &
                  (LVS_EX_GRIDLINES | LVS_EX_TRACKSELECT | LVS_EX_FULLROWSELECT),
              DWORD{LVS_EX_GRIDLINES});
    EXPECT_EQ(d.GetIcon(TRUE), d.m_hIcon);
    EXPECT_EQ(d.GetIcon(FALSE), d.m_hIcon);
    EXPECT_NE(d.m_hIcon, nullptr);
    EXPECT_TRUE(f.shell.messages.empty());
}

TEST(MainDlgTest, StartsEmptyWithoutATableAndSaysWhyWhenOneCannotBeRead) {
    ShellScope scope;
    TestEnvironment env;
    unsetenv("TB_ENV_TABLE");
    CMainDlg d;
    d.Create();
    for (const CString* member :
         {&d.m_strProjectName, &d.m_strLogDir, &d.m_strBatchDir, &d.m_strSchemeDir})
        EXPECT_EQ(*member, "");
    EXPECT_EQ(d.m_btnCreateLog.GetCheck(), BST_CHECKED);
    // Without a table named, there is nothing to tell.
    EXPECT_TRUE(scope.shell.messages.empty());

    // A named table that cannot be read is said, once, and the window goes on without it.
    const CString missing = env.Dir("absent.txt");
    setenv("TB_ENV_TABLE", missing.c_str(), 1);
    CMainDlg d2;
    d2.Create();
    ASSERT_EQ(scope.shell.messages.size(), 1u);
    const FakeShell::Message& m = scope.shell.messages[0];
    EXPECT_EQ(m.text.rfind("The environment table could not be read: " + missing, 0), 0u) << m.text;
    EXPECT_EQ(m.caption, AppName());
    EXPECT_EQ(m.type, MB_OK | MB_ICONWARNING);
    EXPECT_EQ(d2.m_strLogDir, "");
    EXPECT_EQ(d2.m_btnCreateLog.GetCheck(), BST_CHECKED);

    // A table whose only entry is the project still gives every directory its separator.
    env.WriteTable("SB_PROJECT=P\n");
    setenv("TB_ENV_TABLE", env.TablePath().c_str(), 1);
    CMainDlg d3;
    d3.Create();
    EXPECT_EQ(d3.m_strBatchDir, kSep);
    EXPECT_EQ(d3.m_strProjectName, "Project Name: P");
}

TEST(MainDlgTest, BuildsEveryControlOfTheTemplateInPlace) {
    DialogFixture f;
    CMainDlg& d = *f.dlg;
    const DialogTemplate* t = d.Template();
    ASSERT_TRUE(t);
    ASSERT_EQ(t->items.size(), 30u);
    ASSERT_EQ(d.TemplateItems().size(), 30u);

    // The client area is the template's size in dialog units, below the menu bar.
    CRect size(0, 0, 531, 264);
    d.MapDialogRect(&size);
    EXPECT_GT(size.Width(), 531);
    CRect client;
    d.GetClientRect(&client);
    EXPECT_EQ(client.Width(), size.Width());
    EXPECT_EQ(client.Height(), size.Height());

    for (std::size_t i = 0; i < t->items.size(); ++i) {
        const DialogItemTemplate& item = t->items[i];
        CWnd* w = d.TemplateItems()[i].get();
        if ((item.style & SS_TYPEMASK) == SS_ICON && std::string(item.windowClass) == "static")
            continue; // an icon takes its own size
        // Origin and size are mapped each by itself, as the dialog manager does.
        CRect units(item.x, item.y, item.cx, item.cy);
        d.MapDialogRect(&units);
        const CRect expected(units.left, units.top, units.left + units.right,
                             units.top + units.bottom);
        CRect placed;
        w->GetWindowRect(&placed);
        d.ScreenToClient(&placed);
        EXPECT_EQ(placed, expected) << "control " << i;
        if (item.id != IDC_STATIC) {
            EXPECT_EQ(d.GetDlgItem(item.id), w);
            EXPECT_EQ(w->GetDlgCtrlID(), item.id);
        }
    }

    // The kinds of control the classes and styles ask for.
    EXPECT_EQ(driver::KindOf(f.Item(IDC_REPLACE)), Kind::PushButton);
    EXPECT_EQ(driver::KindOf(f.Item(IDC_DELETE_BATCH)), Kind::CheckBox);
    EXPECT_EQ(driver::KindOf(f.Item(IDC_BATCH_NAME)), Kind::Edit);
    EXPECT_EQ(driver::KindOf(f.Item(IDC_FILE_LIST)), Kind::List);
    EXPECT_EQ(driver::KindOf(d.TemplateItems()[27].get()), Kind::GroupBox);
    EXPECT_EQ(driver::KindOf(f.Item(IDC_LOG_DIR)), Kind::Static);
    EXPECT_TRUE(driver::IsRightAligned(f.Item(IDC_LOG_DIR)));
    EXPECT_FALSE(driver::IsRightAligned(f.Item(IDC_PROJECT_NAME)));
    EXPECT_EQ(f.Text(IDC_ADD_FILES), "Add *.sch File");
    EXPECT_EQ(f.Text(IDC_CREATE_BATCH_DATA), "Create Batch Data File");

    // The OK of the template exists but can neither be seen nor used.
    ASSERT_TRUE(f.Item(IDOK));
    EXPECT_FALSE(f.Item(IDOK)->IsWindowVisible());
    EXPECT_FALSE(f.Item(IDOK)->IsWindowEnabled());
    EXPECT_TRUE(f.Item(IDCANCEL)->IsWindowVisible());

    // Group boxes lie beneath the controls they frame and let clicks through to them.
    CRect list;
    f.Item(IDC_FILE_LIST)->GetWindowRect(&list);
    d.ScreenToClient(&list);
    EXPECT_EQ(driver::ControlAt(d, list.CenterPoint()), f.Item(IDC_FILE_LIST));
}

TEST(MainDlgTest, TabsThroughTheControlsInTemplateOrder) {
    DialogFixture f;
    const std::vector<int> expected = {
        IDCANCEL,         IDC_FILE_LIST,         IDC_ADD_FILES,   IDC_REMOVE,     IDC_FIND_TEXT,
        IDC_REPLACE_TEXT, IDC_REPLACE,           IDC_FIND_ONLY,   IDC_CREATE_LOG, IDC_LOG_NAME,
        IDC_SHOW_LOG,     IDC_CREATE_BATCH_DATA, IDC_BATCH_NAME,  IDC_SHOW_BATCH, IDC_DELETE_LOG,
        IDC_DELETE_BATCH, IDC_CREATE_BATCH_FILE, IDC_RESET_STATUS};
    // Walk as Tab does, once round.
    std::vector<int> order;
    CWnd* w = f.Item(IDCANCEL);
    do {
        order.push_back(w->GetDlgCtrlID());
        w = f.dlg->GetNextDlgTabItem(w);
    } while (w && w != f.Item(IDCANCEL) && order.size() < 40);
    EXPECT_EQ(order, expected);
}

TEST(MainDlgTest, MenusOfferTheListCommandsAndAbout) {
    DialogFixture f;
    CMenu* bar = f.dlg->GetMenu();
    ASSERT_TRUE(bar);
    CString title;
    bar->GetMenuString(0, title, MF_BYPOSITION);
    EXPECT_EQ(title, "");
    CMenu* popup = bar->GetSubMenu(0);
    ASSERT_TRUE(popup);
    ASSERT_EQ(popup->GetMenuItemCount(), 2);
    const std::pair<const char*, UINT> items[] = {{"Open", ID_LIST_OPEN}, {"Exclude", IDC_REMOVE}};
    for (int i = 0; i < 2; ++i) {
        CString text;
        popup->GetMenuString(static_cast<UINT>(i), text, MF_BYPOSITION);
        EXPECT_EQ(text, items[i].first);
        EXPECT_EQ(popup->GetMenuItemID(i), items[i].second);
    }

    // The About item goes where the system menu is (on Qt a menu of the bar stands in for it):
    // after a separator, once.
    CMenu* system = f.dlg->GetSystemMenu(FALSE);
    ASSERT_TRUE(system);
    int about = -1;
    for (int i = 0; i < system->GetMenuItemCount(); ++i) {
        if (system->GetMenuItemID(i) != IDM_ABOUTBOX)
            continue;
        EXPECT_EQ(about, -1) << "a second About item";
        about = i;
    }
    ASSERT_GE(about, 1);
    EXPECT_TRUE(system->GetMenuState(static_cast<UINT>(about - 1), MF_BYPOSITION) & MF_SEPARATOR);
    CString text;
    system->GetMenuString(IDM_ABOUTBOX, text, MF_BYCOMMAND);
    EXPECT_EQ(text, "&About veldran...");
    EXPECT_EQ(LoadResourceString(IDS_ABOUTBOX), "&About veldran...");
    EXPECT_EQ(LoadResourceString(9999), "");
}

TEST(MainDlgTest, AddFillsTheListSortedFromTheFileDialog) {
    DialogFixture f;
    const CString dir = f.env.Dir("schemes") + kSep;
    f.Add({dir + "d.sch", dir + "b.sch", dir + "e.sch", dir + "a.sch", dir + "c.sch"});

    ASSERT_EQ(f.shell.fileRequests.size(), 1u);
    const OpenFileRequest& request = f.shell.fileRequests.front();
    EXPECT_EQ(request.initialDir, dir);
    EXPECT_EQ(request.filterDescription, "Scheme File");
    EXPECT_EQ(request.filterPattern, "*.sch");
    EXPECT_EQ(request.flags, DWORD{0x880220});

    EXPECT_EQ(f.Column(0), std::vector<CString>({dir + "a.sch", dir + "b.sch", dir + "c.sch",
                                                 dir + "d.sch", dir + "e.sch"}));
    EXPECT_EQ(f.Column(1), std::vector<CString>(5));
    EXPECT_EQ(f.Column(2), std::vector<CString>(5));
    EXPECT_EQ(f.Text(IDC_LISTED), "Listed : 5");
    EXPECT_EQ(f.Text(IDC_SELECTED), "Selected : 0");
    // A path that does not exist is listed like any other.
    f.Add({dir + "missing.sch"});
    EXPECT_EQ(f.Column(0), std::vector<CString>({dir + "missing.sch"}));
}

TEST(MainDlgTest, AddCancelledFailedOrRepeatedEmptiesTheListFirst) {
    DialogFixture f;
    f.Add({"/x/1.sch", "/x/2.sch"});
    f.dlg->m_listFiles.SetItemText(0, 1, "READY");
    f.dlg->m_listFiles.SetItemText(0, 2, "CHANGE");

    // A second choice replaces the first, with none of its texts.
    f.Add({"/y/3.sch", "/x/1.sch"});
    EXPECT_EQ(f.Column(0), std::vector<CString>({"/x/1.sch", "/y/3.sch"}));
    EXPECT_EQ(f.Column(1), std::vector<CString>(2));
    EXPECT_EQ(f.Column(2), std::vector<CString>(2));

    // Cancelled: the list was emptied before the dialog opened, and nothing is said.
    f.Select({0});
    f.shell.fileAnswers.push_back(std::nullopt);
    f.Click(IDC_ADD_FILES);
    EXPECT_EQ(f.dlg->m_listFiles.GetItemCount(), 0);
    EXPECT_EQ(f.Text(IDC_LISTED), "Listed : 0");
    EXPECT_EQ(f.Text(IDC_SELECTED), "Selected : 0");
    EXPECT_TRUE(f.shell.messages.empty());

    // Failed: the same empty list, and the reason is told rather than passed off as a Cancel.
    f.shell.fileError = "The selection does not fit.";
    f.Click(IDC_ADD_FILES);
    EXPECT_EQ(f.Text(IDC_LISTED), "Listed : 0");
    ASSERT_EQ(f.shell.messages.size(), 1u);
    EXPECT_EQ(f.shell.messages[0].text, "The selection does not fit.");
    EXPECT_EQ(f.shell.messages[0].type, MB_OK | MB_ICONWARNING);
}

TEST(MainDlgTest, SortsByPathIgnoringCase) {
    DialogFixture f;
    const std::vector<CString> added = {"/s/b.sch", "/s/B2.sch",  "/s/a.sch", "/s/ab.sch",
                                        "/s/A.sch", "/s/a b.sch", "/s/a.sch", "/r/z.sch"};
    f.Add(added);
    // Letter case does not order; which of two paths equal but for it comes first is the
    // list's own (tests/ui/qt holds the Qt list's).
    const auto folded = [](std::vector<CString> texts) {
        for (CString& t : texts)
            std::transform(t.begin(), t.end(), t.begin(),
                           [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
        return texts;
    };
    EXPECT_EQ(folded(f.Column(0)), folded({"/r/z.sch", "/s/a b.sch", "/s/A.sch", "/s/a.sch",
                                           "/s/a.sch", "/s/ab.sch", "/s/b.sch", "/s/B2.sch"}));
    std::vector<CString> listed = f.Column(0);
    std::vector<CString> given = added;
    std::sort(listed.begin(), listed.end());
    std::sort(given.begin(), given.end());
    EXPECT_EQ(listed, given);
}

TEST(MainDlgTest, SelectionWalkVisitsSelectedItemsInOrder) {
    DialogFixture f;
    f.Add({"/s/1.sch", "/s/2.sch", "/s/3.sch", "/s/4.sch", "/s/5.sch", "/s/6.sch"});
    CListCtrl& list = f.dlg->m_listFiles;
    EXPECT_EQ(list.GetNextItem(-1, LVNI_SELECTED), -1);
    EXPECT_EQ(list.GetNextItem(-1, LVNI_ALL), 0);
    f.Select({5, 0, 2});
    EXPECT_EQ(list.GetSelectedCount(), 3u);
    const std::pair<int, int> walk[] = {{-1, 0}, {0, 2}, {2, 5}, {5, -1}, {3, 5}};
    for (const auto& [from, next] : walk)
        EXPECT_EQ(list.GetNextItem(from, LVNI_SELECTED), next) << "after " << from;

    // Deleting an item moves the later ones down, and their selection with them.
    list.DeleteItem(0);
    EXPECT_EQ(list.GetNextItem(-1, LVNI_SELECTED), 1);
    EXPECT_EQ(list.GetItemText(1, 0), "/s/3.sch");
    EXPECT_EQ(list.GetNextItem(1, LVNI_SELECTED), 4);
}

TEST(MainDlgTest, ClickOnTheListCountsTheSelection) {
    DialogFixture f;
    f.Add({"/s/1.sch", "/s/2.sch", "/s/3.sch"});
    CListCtrl& list = f.dlg->m_listFiles;

    // A click also takes the typed texts into the state before the counter is shown.
    f.Type(IDC_FIND_TEXT, "PLATE");
    driver::ClickListRow(list, 0, false);
    driver::ClickListRow(list, 2, true);
    EXPECT_EQ(list.GetSelectedCount(), 2u);
    EXPECT_EQ(f.Text(IDC_SELECTED), "Selected : 2");
    EXPECT_EQ(f.dlg->m_strFind, "PLATE");
    // Only the Selected text changes: Listed keeps what it showed.
    list.DeleteItem(1);
    driver::ClickListRow(list, 0, true);
    EXPECT_EQ(f.Text(IDC_SELECTED), "Selected : 1");
    EXPECT_EQ(f.Text(IDC_LISTED), "Listed : 3");

    // Selecting without a click (here by program, as the keyboard would) leaves the counter.
    f.Select({0, 1});
    EXPECT_EQ(f.Text(IDC_SELECTED), "Selected : 1");
    // A click below the last item clears the selection, and the counter follows.
    driver::ClickListRow(list, -1, false);
    EXPECT_EQ(f.Text(IDC_SELECTED), "Selected : 0");
}

TEST(MainDlgTest, RemoveDeletesEverySelectedItem) {
    DialogFixture f;
    f.Add({"/s/1.sch", "/s/2.sch", "/s/3.sch", "/s/4.sch", "/s/5.sch"});
    f.Select({1, 3});
    f.Click(IDC_REMOVE);
    EXPECT_EQ(f.Column(0), std::vector<CString>({"/s/1.sch", "/s/3.sch", "/s/5.sch"}));
    EXPECT_EQ(f.Text(IDC_LISTED), "Listed : 3");
    EXPECT_EQ(f.Text(IDC_SELECTED), "Selected : 0");

    // "Exclude" of the menu is the same command.
    f.Select({0, 1, 2});
    driver::ChooseMenuItem(*f.dlg, *f.dlg->GetMenu()->GetSubMenu(0), 1);
    EXPECT_EQ(f.dlg->m_listFiles.GetItemCount(), 0);
    EXPECT_EQ(f.Text(IDC_LISTED), "Listed : 0");
    EXPECT_TRUE(f.shell.messages.empty());
}

TEST(MainDlgTest, RemoveWithoutSelectionOnlyComplains) {
    DialogFixture f;
    f.Add({"/s/1.sch", "/s/2.sch"});
    f.Type(IDC_FIND_TEXT, "typed");
    f.Click(IDC_REMOVE);
    ASSERT_EQ(f.shell.messages.size(), 1u);
    EXPECT_EQ(f.shell.messages[0].text, "Operation Failed. No item has been selected!");
    EXPECT_EQ(f.shell.messages[0].caption, AppName());
    EXPECT_EQ(f.shell.messages[0].type, MB_OK);
    EXPECT_EQ(f.dlg->m_listFiles.GetItemCount(), 2);
    EXPECT_EQ(f.Text(IDC_LISTED), "Listed : 2");
    // No exchange ran: the typed text is still in its edit and not in the state.
    EXPECT_EQ(f.Text(IDC_FIND_TEXT), "typed");
    EXPECT_EQ(f.dlg->m_strFind, "");
}

TEST(MainDlgTest, RemoveWritesOlderMembersBackIntoTheEdits) {
    DialogFixture f;
    f.Type(IDC_FIND_TEXT, "old find");
    f.Type(IDC_LOG_NAME, "oldlog");
    f.Add({"/s/1.sch", "/s/2.sch"}); // its exchange takes both texts
    f.Type(IDC_FIND_TEXT, "new find");
    f.Type(IDC_LOG_NAME, "newlog");
    f.Type(IDC_REPLACE_TEXT, "new replace");
    f.Select({0});
    f.Click(IDC_REMOVE);
    EXPECT_EQ(f.Text(IDC_FIND_TEXT), "old find");
    EXPECT_EQ(f.Text(IDC_LOG_NAME), "oldlog");
    EXPECT_EQ(f.Text(IDC_REPLACE_TEXT), "");
    // The boxes keep what the user set, since the exchange before brought the member in line.
    EXPECT_TRUE(f.Checked(IDC_CREATE_LOG));

    // Add, on the other hand, reads the edits first.
    f.Type(IDC_FIND_TEXT, "kept");
    f.Add({"/s/1.sch"});
    EXPECT_EQ(f.Text(IDC_FIND_TEXT), "kept");
    EXPECT_EQ(f.dlg->m_strFind, "kept");
}

TEST(MainDlgTest, CheckBoxTakesTheTypedTextsIntoTheState) {
    DialogFixture f;
    f.Type(IDC_FIND_TEXT, "FR24");
    f.Type(IDC_REPLACE_TEXT, "FR25");
    f.Type(IDC_BATCH_NAME, "batch one");
    f.Click(IDC_DELETE_LOG);
    EXPECT_TRUE(f.Checked(IDC_DELETE_LOG));
    EXPECT_EQ(f.dlg->m_strFind, "FR24");
    EXPECT_EQ(f.dlg->m_strReplace, "FR25");
    EXPECT_EQ(f.dlg->m_strBatchName, "batch one");
    EXPECT_EQ(f.dlg->m_bCreateLog, TRUE);

    f.Click(IDC_CREATE_LOG);
    EXPECT_FALSE(f.Checked(IDC_CREATE_LOG));
    EXPECT_EQ(f.dlg->m_bCreateLog, FALSE);
    EXPECT_EQ(f.dlg->m_btnCreateLog.GetCheck(), BST_UNCHECKED);
    f.Click(IDC_CREATE_BATCH_DATA);
    EXPECT_EQ(f.dlg->m_btnCreateBatchData.GetCheck(), BST_CHECKED);
    // No exchange ever changes the three boxes without a member.
    f.dlg->UpdateData(FALSE);
    EXPECT_TRUE(f.Checked(IDC_CREATE_BATCH_DATA));
    EXPECT_TRUE(f.Checked(IDC_DELETE_LOG));
}

TEST(MainDlgTest, PreparesOutputPathsFromDirectoryAndBaseName) {
    DialogFixture f;
    CMainDlg& d = *f.dlg;
    const CString log = f.env.Dir("log") + kSep;
    const CString data = f.env.Dir("data") + kSep;
    EXPECT_EQ(d.m_strLogPath, "");
    EXPECT_EQ(d.m_strBatchPath, "");

    // Empty names get their defaults, which the edits then show.
    d.PrepareLogPath();
    d.PrepareBatchPath();
    EXPECT_EQ(d.m_strLogPath, log + "VELDRAN.log");
    EXPECT_EQ(d.m_strBatchPath, data + "VELDRAN_BATCH.dat");
    EXPECT_EQ(f.Text(IDC_LOG_NAME), "VELDRAN");
    EXPECT_EQ(f.Text(IDC_BATCH_NAME), "VELDRAN_BATCH");

    // A name is taken as typed: an extension in it is not recognised, blanks are a name.
    f.Type(IDC_LOG_NAME, "run.log");
    f.Type(IDC_BATCH_NAME, "  ");
    d.UpdateData(TRUE);
    d.PrepareLogPath();
    d.PrepareBatchPath();
    EXPECT_EQ(d.m_strLogPath, log + "run.log.log");
    EXPECT_EQ(d.m_strBatchPath, data + "  .dat");

    // A file is deleted only while its own Delete Existing box is ticked.
    WriteFile(d.m_strLogPath, "old log\n");
    WriteFile(d.m_strBatchPath, "old batch\n");
    f.Click(IDC_DELETE_LOG);
    d.PrepareLogPath();
    d.PrepareBatchPath();
    EXPECT_FALSE(Exists(d.m_strLogPath));
    EXPECT_TRUE(Exists(d.m_strBatchPath));
    f.Click(IDC_DELETE_BATCH);
    d.PrepareBatchPath();
    EXPECT_FALSE(Exists(d.m_strBatchPath));
}

TEST(MainDlgTest, LongDirectoriesShowTheirEndAndTheirWholeTextAsTooltip) {
    ShellScope scope;
    TestEnvironment env;
    const CString deep = env.Dir("data") + kSep + std::string(120, 'd') + kSep + "batches";
    const CString project = "Project Name: " + std::string(80, 'p') + "-END";
    env.WriteTable("SB_PROJECT=" + project.substr(14) + "\nSB_SHIPDATA=" + deep +
                   "\nSB_TEMP=" + kSep + "t\n");
    CMainDlg d;
    d.Create();
    driver::ProcessMessages();
    // Too long for their fields: shortened so that the end shows, the whole text a hover away;
    // the exchange still reads the whole text.
    for (const auto& [id, full] :
         {std::pair{IDC_BATCH_DIR, deep + kSep}, std::pair{IDC_PROJECT_NAME, project}}) {
        CWnd* field = d.GetDlgItem(id);
        const CString shown = driver::ShownTextOf(field);
        EXPECT_LT(shown.size(), full.size()) << shown;
        EXPECT_EQ(shown.substr(shown.size() - 4), full.substr(full.size() - 4)) << shown;
        EXPECT_EQ(driver::ToolTipOf(d, field), full);
    }
    d.UpdateData(TRUE);
    EXPECT_EQ(d.m_strBatchDir, deep + kSep);
    EXPECT_EQ(d.m_strProjectName, project);
    // A text that fits shows whole, with no tooltip.
    EXPECT_EQ(driver::ShownTextOf(d.GetDlgItem(IDC_LOG_DIR)), kSep + "t" + kSep);
    EXPECT_EQ(driver::ToolTipOf(d, d.GetDlgItem(IDC_LOG_DIR)), "");
}

TEST(MainDlgTest, ExitEscapeAndCloseBoxEndTheModalRun) {
    ShellScope scope;
    TestEnvironment env;
    // Each way out is taken from inside a real modal run.
    const std::vector<std::function<void(CMainDlg&)>> ways = {
        [](CMainDlg& d) { driver::Click(d.GetDlgItem(IDCANCEL)); },
        [](CMainDlg& d) { driver::PressEscape(d); },
        [](CMainDlg& d) { driver::PressCloseBox(d); },
    };
    for (const auto& way : ways) {
        scope.shell.runModal = [&way](CDialog& dialog) {
            driver::Later([&] { way(static_cast<CMainDlg&>(dialog)); });
            return driver::RunRealModalLoop(dialog);
        };
        CMainDlg d;
        EXPECT_EQ(d.DoModal(), int(IDCANCEL));
        EXPECT_FALSE(d.IsWindowVisible());
    }
}
