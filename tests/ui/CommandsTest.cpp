// The window's commands over real temporary scheme files: Replace, Find Only, Create batch file,
// the viewing commands, and the About box, context menu and web link around them.
#include "UiTestSupport.h"

#include <Maker.h>
#include <SafeFile.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <filesystem>

namespace {

const std::string kBefore = "PLATE,P1,MAT=AH36,THK=12.0\nSTIFF,S1,MAT=AH36\n";
const std::string kAfter = "PLATE,P1,MAT=AH40,THK=12.0\nSTIFF,S1,MAT=AH40\n";
const std::string kOther = "PLATE,P9,MAT=EH36\n";
const CString kNoSelection = "Operation Failed. No item has been selected!";

HCURSOR Cursor(int id) {
    return CWnd::LoadCursor(nullptr, id);
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

bool Contains(const CString& text, const char* part) {
    return text.find(part) != CString::npos;
}

} // namespace

class CommandsTest : public testing::Test {
protected:
    void SetUp() override { unsetenv("VELDRAN_EDITOR"); }
};

TEST_F(CommandsTest, ReplaceRewritesExactlyTheSelectedFilesInOrder) {
    DialogFixture f;
    std::vector<CString> paths;
    for (const char* name : {"a.sch", "b.sch", "c.sch", "d.sch", "e.sch", "f.sch"})
        paths.push_back(f.env.Scheme(name, kBefore));
    f.Add({paths[3], paths[0], paths[5], paths[1], paths[4], paths[2]});
    f.Type(IDC_FIND_TEXT, "AH36");
    f.Type(IDC_REPLACE_TEXT, "AH40");
    f.Click(IDC_FIND_ONLY);
    EXPECT_EQ(f.Column(1), std::vector<CString>(6, "*"));

    driver::MoveMouse(*f.dlg);
    f.Select({0, 2, 5});
    f.Click(IDC_REPLACE);
    for (int i = 0; i < 6; ++i) {
        const bool selected = i == 0 || i == 2 || i == 5;
        EXPECT_EQ(ReadFile(paths[i]), selected ? Native(kAfter) : kBefore) << i;
    }
    EXPECT_EQ(f.Column(1), std::vector<CString>({"READY", "*", "READY", "*", "*", "READY"}));
    EXPECT_EQ(f.Column(2), std::vector<CString>({"CHANGE", "", "CHANGE", "", "", "CHANGE"}));
    EXPECT_EQ(f.dlg->m_strCurrentFile, paths[5]);
    EXPECT_EQ(f.dlg->m_bChanged, 1);
    // Two changed lines per file, logged file by file in list order.
    EXPECT_EQ(LoggedFiles(ReadFile(f.dlg->m_strLogPath)),
              std::vector<CString>({paths[0], paths[0], paths[2], paths[2], paths[5], paths[5]}));
    EXPECT_TRUE(f.shell.messages.empty());
    // The up-arrow, not the plain arrow, until the mouse moves.
    EXPECT_EQ(CWnd::GetCursor(), Cursor(IDC_UPARROW));
    driver::MoveMouse(*f.dlg);
    EXPECT_EQ(CWnd::GetCursor(), Cursor(IDC_ARROW));
}

TEST_F(CommandsTest, ReplaceKeepsAnEarlierChangeAndFillsInDefaults) {
    DialogFixture f;
    const CString changed = f.env.Scheme("a.sch", kBefore);
    const CString untouched = f.env.Scheme("b.sch", kOther);
    f.Add({changed, untouched});
    f.Type(IDC_FIND_TEXT, "AH36");
    f.Type(IDC_REPLACE_TEXT, "AH40");
    f.Select({0, 1});
    f.Click(IDC_REPLACE);
    EXPECT_EQ(f.Column(1), std::vector<CString>({"READY", "READY"}));
    EXPECT_EQ(f.Column(2), std::vector<CString>({"CHANGE", ""}));
    EXPECT_EQ(f.Text(IDC_LOG_NAME), "VELDRAN");
    EXPECT_EQ(f.Text(IDC_BATCH_NAME), "VELDRAN_BATCH");
    EXPECT_EQ(f.dlg->m_strLogPath, f.env.Dir("log") + kSep + "VELDRAN.log");
    EXPECT_EQ(f.dlg->m_strBatchPath, f.env.Dir("data") + kSep + "VELDRAN_BATCH.dat");

    // The second run finds nothing to replace: the first run's CHANGE stays.
    f.Click(IDC_REPLACE);
    EXPECT_EQ(ReadFile(changed), Native(kAfter));
    EXPECT_EQ(f.Column(1), std::vector<CString>({"READY", "READY"}));
    EXPECT_EQ(f.Column(2), std::vector<CString>({"CHANGE", ""}));
    EXPECT_EQ(f.dlg->m_bChanged, 0);
}

TEST_F(CommandsTest, ReplaceWithoutSelectionHasAlreadyPreparedTheOutputFiles) {
    DialogFixture f;
    const CString file = f.env.Scheme("a.sch", kBefore);
    f.Add({file});
    const CString log = f.env.Dir("log") + kSep + "VELDRAN.log";
    WriteFile(log, "earlier records\n");
    f.Click(IDC_DELETE_LOG);
    f.Type(IDC_FIND_TEXT, "AH36");
    driver::MoveMouse(*f.dlg);
    f.Click(IDC_REPLACE);

    ASSERT_EQ(f.shell.messages.size(), 1u);
    EXPECT_EQ(f.shell.messages[0].text, kNoSelection);
    EXPECT_EQ(f.shell.messages[0].caption, AppName());
    EXPECT_EQ(f.shell.messages[0].cursor, Cursor(IDC_WAIT));
    EXPECT_FALSE(Exists(log));
    EXPECT_EQ(f.Text(IDC_LOG_NAME), "VELDRAN");
    EXPECT_EQ(f.Text(IDC_BATCH_NAME), "VELDRAN_BATCH");
    EXPECT_EQ(ReadFile(file), kBefore);
    EXPECT_EQ(f.Column(1), std::vector<CString>({""}));
    // The command ends without setting the cursor back; the next mouse move does.
    EXPECT_EQ(CWnd::GetCursor(), Cursor(IDC_WAIT));
    driver::MoveMouse(*f.dlg);
    EXPECT_EQ(CWnd::GetCursor(), Cursor(IDC_ARROW));
}

TEST_F(CommandsTest, ReplaceFollowsTheOptionBoxes) {
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
    EXPECT_FALSE(Exists(f.dlg->m_strLogPath));
    EXPECT_EQ(ReadFile(f.dlg->m_strBatchPath), Native(a + "\n"));

    // Log on again, batch data off, on a file that changes.
    WriteFile(b, kBefore);
    f.Click(IDC_CREATE_LOG);
    f.Click(IDC_CREATE_BATCH_DATA);
    f.Click(IDC_REPLACE);
    EXPECT_EQ(LoggedFiles(ReadFile(f.dlg->m_strLogPath)), std::vector<CString>({b, b}));
    EXPECT_EQ(ReadFile(f.dlg->m_strBatchPath), Native(a + "\n"));
}

TEST_F(CommandsTest, ReplaceMarksUnreadableAndUnwritableFilesAndGoesOn) {
    namespace fs = std::filesystem;
    DialogFixture f;
    const CString first = f.env.Scheme("a.sch", kBefore);
    const CString directory = f.env.Dir("schemes") + kSep + "b.sch";
    fs::create_directory(directory);
    const CString readOnly = f.env.Scheme("c.sch", kBefore);
    fs::permissions(readOnly,
                    fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    const CString vanished = f.env.Scheme("d.sch", kBefore);
    const CString last = f.env.Scheme("e.sch", kBefore);
    f.Add({first, directory, readOnly, vanished, last});
    fs::remove(vanished);
    f.Type(IDC_FIND_TEXT, "AH36");
    f.Type(IDC_REPLACE_TEXT, "AH40");
    f.Click(IDC_CREATE_BATCH_DATA);
    f.Select({0, 1, 2, 3, 4});
    f.Click(IDC_REPLACE);

    EXPECT_EQ(f.Column(1), std::vector<CString>({"READY", "ERROR", "ERROR", "ERROR", "READY"}));
    EXPECT_EQ(f.Column(2), std::vector<CString>({"CHANGE", "", "", "", "CHANGE"}));
    // Each failure says why, on its item.
    EXPECT_EQ(f.dlg->m_listFiles.GetItemToolTip(0), "");
    for (int i = 1; i <= 3; ++i)
        EXPECT_TRUE(Contains(f.dlg->m_listFiles.GetItemToolTip(i), "cannot"))
            << f.dlg->m_listFiles.GetItemToolTip(i);
    EXPECT_TRUE(Contains(f.dlg->m_listFiles.GetItemToolTip(2), "read-only"));
    EXPECT_EQ(ReadFile(readOnly), kBefore);
    EXPECT_FALSE(Exists(vanished));
    EXPECT_EQ(ReadFile(last), Native(kAfter));
    EXPECT_EQ(LoggedFiles(ReadFile(f.dlg->m_strLogPath)),
              std::vector<CString>({first, first, last, last}));
    EXPECT_EQ(ReadFile(f.dlg->m_strBatchPath), Native(first + "\n" + last + "\n"));
    EXPECT_TRUE(f.shell.messages.empty());

    // A later success clears the reason with the status.
    fs::permissions(readOnly, fs::perms::owner_write, fs::perm_options::add);
    f.Select({2});
    f.Click(IDC_REPLACE);
    EXPECT_EQ(f.dlg->m_listFiles.GetItemText(2, 1), "READY");
    EXPECT_EQ(f.dlg->m_listFiles.GetItemToolTip(2), "");
}

TEST_F(CommandsTest, ReplaceLeavesAFileWhoseWriteFailsAsItWas) {
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
    EXPECT_EQ(f.Column(1), std::vector<CString>({"READY", "ERROR", "READY"}));
    EXPECT_EQ(f.Column(2), std::vector<CString>({"CHANGE", "", "CHANGE"}));
    EXPECT_EQ(ReadFile(b), kBefore);
    EXPECT_EQ(ReadFile(c), Native(kAfter));
    EXPECT_NE(f.dlg->m_listFiles.GetItemToolTip(1), "");
    // Nothing is recorded for the file that was not written.
    EXPECT_EQ(LoggedFiles(ReadFile(f.dlg->m_strLogPath)), std::vector<CString>({a, a, c, c}));
    EXPECT_EQ(ReadFile(f.dlg->m_strBatchPath), Native(a + "\n" + c + "\n"));
}

TEST_F(CommandsTest, ReplaceTellsOnceWhenTheChangeLogCannotBeWritten) {
    DialogFixture f;
    const CString a = f.env.Scheme("a.sch", kBefore);
    const CString b = f.env.Scheme("b.sch", kBefore);
    f.Add({a, b});
    const CString log = f.env.Dir("log") + kSep + "VELDRAN.log";
    std::filesystem::create_directory(log);
    f.Type(IDC_FIND_TEXT, "AH36");
    f.Type(IDC_REPLACE_TEXT, "AH40");
    f.Select({0, 1});
    f.Click(IDC_REPLACE);

    // The scheme files are safe; only the log failed, and it is told once, by name.
    EXPECT_EQ(ReadFile(a), Native(kAfter));
    EXPECT_EQ(ReadFile(b), Native(kAfter));
    EXPECT_EQ(f.Column(1), std::vector<CString>({"READY", "READY"}));
    ASSERT_EQ(f.shell.messages.size(), 1u);
    const FakeShell::Message& m = f.shell.messages[0];
    EXPECT_TRUE(Contains(m.text, log.c_str())) << m.text;
    EXPECT_TRUE(Contains(m.text, "change log")) << m.text;
    EXPECT_EQ(m.caption, AppName());
    EXPECT_EQ(m.type, MB_OK | MB_ICONWARNING);
    EXPECT_EQ(m.cursor, Cursor(IDC_UPARROW));
}

TEST_F(CommandsTest, ReplaceRepaintsOnlyWhatChangedAfterEachFile) {
    DialogFixture f;
    std::vector<CString> paths;
    for (int i = 0; i < 60; ++i)
        paths.push_back(f.env.Scheme("f" + std::to_string(100 + i) + ".sch", kBefore));
    f.Add(paths);
    f.Type(IDC_FIND_TEXT, "AH36");
    f.Type(IDC_REPLACE_TEXT, "AH40");
    CListCtrl& list = f.dlg->m_listFiles;
    list.SetItemState(-1, LVIS_SELECTED, LVIS_SELECTED);
    driver::ProcessMessages(); // paint what Add and the selection left

    const std::unique_ptr<driver::PaintCounter> watch = driver::CountPaints(&list);
    f.dlg->OnBnClickedReplace();
    const int rowHeight = driver::RowHeight(list);
    const int rowsInView = list.GetCountPerPage();
    ASSERT_GT(rowsInView, 4);
    // Progress is painted during the command, file by file: the row of the file, and the whole
    // view only when a new page of the list scrolls in.
    EXPECT_GE(watch->paints, 60);
    const auto large = std::count_if(watch->heights.begin(), watch->heights.end(),
                                     [&](int h) { return h > 2 * rowHeight; });
    EXPECT_LE(large, 60 / (rowsInView - 1) + 1);
    // The last file is in view.
    EXPECT_LE(list.GetTopIndex(), 59);
    EXPECT_GT(list.GetTopIndex() + rowsInView, 59);
    EXPECT_EQ(list.GetItemText(59, 2), "CHANGE");
}

TEST_F(CommandsTest, FindOnlyMarksEveryListedFileWithoutTouchingAny) {
    DialogFixture f;
    const CString hit = f.env.Scheme("a.sch", kBefore);
    const CString miss = f.env.Scheme("b.sch", kOther);
    const CString empty = f.env.Scheme("c.sch", "");
    const CString otherCase = f.env.Scheme("d.sch", "MAT=ah36\n");
    const CString directory = f.env.Dir("schemes") + kSep + "e.sch";
    std::filesystem::create_directory(directory);
    const std::vector<CString> files{hit, miss, empty, otherCase};
    f.Add({hit, miss, empty, otherCase, directory});

    // After a Replace that changed the first file, so READY and CHANGE are shown.
    f.Type(IDC_FIND_TEXT, "THK=12.0");
    f.Type(IDC_REPLACE_TEXT, "THK=12.5");
    f.Select({0, 1});
    f.Click(IDC_REPLACE);
    EXPECT_EQ(f.Column(1), std::vector<CString>({"READY", "READY", "", "", ""}));
    // Times long past, as the file system keeps them.
    const auto old = std::filesystem::file_time_type::clock::now() - std::chrono::hours(24 * 400);
    std::vector<std::filesystem::file_time_type> times;
    for (const CString& file : files) {
        std::filesystem::last_write_time(file, old);
        times.push_back(std::filesystem::last_write_time(file));
    }
    const std::string missBytes = ReadFile(miss);

    // Unselected items are searched too; the typed text is read first.
    f.Select({});
    f.Type(IDC_FIND_TEXT, "AH36");
    f.Click(IDC_FIND_ONLY);
    EXPECT_EQ(f.Column(1), std::vector<CString>({"*", "", "", "", "ERROR"}));
    EXPECT_EQ(f.Column(2), std::vector<CString>({"CHANGE", "", "", "", ""}));
    EXPECT_TRUE(Contains(f.dlg->m_listFiles.GetItemToolTip(4), "cannot"));
    EXPECT_EQ(f.dlg->m_strCurrentFile, directory);
    for (std::size_t i = 0; i < files.size(); ++i)
        EXPECT_TRUE(std::filesystem::last_write_time(files[i]) == times[i]) << files[i];
    EXPECT_EQ(ReadFile(miss), missBytes);
    EXPECT_EQ(CWnd::GetCursor(), Cursor(IDC_UPARROW));

    // An empty find text is in every file with a character in it.
    f.Type(IDC_FIND_TEXT, "");
    f.Click(IDC_FIND_ONLY);
    EXPECT_EQ(f.Column(1), std::vector<CString>({"*", "*", "", "*", "ERROR"}));
    EXPECT_TRUE(f.shell.messages.empty());
}

TEST_F(CommandsTest, FindOnlyOnAnEmptyListOnlySetsTheCursor) {
    DialogFixture f;
    driver::MoveMouse(*f.dlg);
    f.Click(IDC_FIND_ONLY);
    EXPECT_EQ(CWnd::GetCursor(), Cursor(IDC_UPARROW));
    EXPECT_TRUE(f.shell.messages.empty());
    EXPECT_EQ(f.dlg->m_listFiles.GetItemCount(), 0);
}

TEST_F(CommandsTest, CreateBatchFileAppendsTheSelectedPathsOnce) {
    DialogFixture f;
    const CString a = f.env.Scheme("a.sch", kBefore);
    const CString b = f.env.Scheme("b.sch", kBefore);
    const CString c = f.env.Scheme("c.sch", kBefore);
    const CString gone = f.env.Dir("schemes") + kSep + "gone.sch";
    f.Add({c, a, b, gone});
    f.dlg->m_listFiles.SetItemText(0, 2, "CHANGE");
    f.dlg->m_listFiles.SetItemText(1, 1, "*");
    // The log's Delete Existing box is of no concern to this command.
    const CString log = f.env.Dir("log") + kSep + "VELDRAN.log";
    WriteFile(log, "kept\n");
    f.Click(IDC_DELETE_LOG);
    EXPECT_FALSE(f.Checked(IDC_CREATE_BATCH_DATA));

    f.Select({0, 2, 3});
    f.Click(IDC_CREATE_BATCH_FILE);
    const CString batch = f.env.Dir("data") + kSep + "VELDRAN_BATCH.dat";
    const std::string block = Native(a + "\n" + c + "\n" + gone + "\n\n");
    EXPECT_EQ(f.dlg->m_strBatchPath, batch);
    EXPECT_EQ(ReadFile(batch), block);
    EXPECT_EQ(f.Column(1), std::vector<CString>({"READY", "*", "READY", "READY"}));
    EXPECT_EQ(f.Column(2), std::vector<CString>({"CHANGE", "", "", ""}));
    EXPECT_EQ(f.Text(IDC_BATCH_NAME), "VELDRAN_BATCH");
    EXPECT_EQ(f.dlg->m_strLogPath, "");
    EXPECT_EQ(ReadFile(log), "kept\n");
    EXPECT_EQ(ReadFile(a), kBefore);

    ASSERT_EQ(f.shell.messages.size(), 1u);
    EXPECT_EQ(f.shell.messages[0].text, "Batch file created \n\n" + batch);
    EXPECT_EQ(f.shell.messages[0].caption, "Batch file ready");
    EXPECT_EQ(f.shell.messages[0].type, MB_OK);
    EXPECT_EQ(f.shell.messages[0].cursor, Cursor(IDC_UPARROW));

    // A second run adds its block behind the first.
    f.Select({1});
    f.Click(IDC_CREATE_BATCH_FILE);
    EXPECT_EQ(ReadFile(batch), block + Native(b + "\n\n"));
    EXPECT_EQ(f.shell.messages.size(), 2u);
}

TEST_F(CommandsTest, CreateBatchFileWithoutSelectionHasAlreadyDeleted) {
    DialogFixture f;
    f.Add({f.env.Scheme("a.sch", kBefore)});
    f.Type(IDC_BATCH_NAME, "run");
    const CString batch = f.env.Dir("data") + kSep + "run.dat";
    WriteFile(batch, "earlier\n");
    f.Click(IDC_DELETE_BATCH);
    driver::MoveMouse(*f.dlg);
    f.Click(IDC_CREATE_BATCH_FILE);
    EXPECT_FALSE(Exists(batch));
    ASSERT_EQ(f.shell.messages.size(), 1u);
    EXPECT_EQ(f.shell.messages[0].text, kNoSelection);
    EXPECT_EQ(f.shell.messages[0].cursor, Cursor(IDC_WAIT));
    EXPECT_EQ(f.Column(1), std::vector<CString>({""}));
    EXPECT_EQ(f.dlg->m_strBatchPath, batch);
}

TEST_F(CommandsTest, CreateBatchFileSaysSoWhenTheFileCannotBeWritten) {
    DialogFixture f;
    const CString a = f.env.Scheme("a.sch", kBefore);
    const CString b = f.env.Scheme("b.sch", kBefore);
    f.Add({a, b});
    const CString batch = f.env.Dir("data") + kSep + "VELDRAN_BATCH.dat";
    std::filesystem::create_directory(batch);
    f.Select({0, 1});
    f.Click(IDC_CREATE_BATCH_FILE);
    // One message, naming the file and why, and no word of a batch file created.
    ASSERT_EQ(f.shell.messages.size(), 1u);
    const CString& text = f.shell.messages[0].text;
    EXPECT_TRUE(Contains(text, batch.c_str())) << text;
    EXPECT_TRUE(Contains(text, "batch data file")) << text;
    EXPECT_FALSE(Contains(text, "Batch file created"));
    EXPECT_EQ(f.shell.messages[0].type, MB_OK | MB_ICONWARNING);
    // The items whose paths did not get there say so, and why.
    EXPECT_EQ(f.Column(1), std::vector<CString>({"ERROR", "ERROR"}));
    for (int i = 0; i < 2; ++i) {
        const CString reason = f.dlg->m_listFiles.GetItemToolTip(i);
        EXPECT_NE(reason, "");
        EXPECT_TRUE(Contains(text, reason.c_str())) << reason;
    }
}

TEST_F(CommandsTest, OpenStartsOneEditorPerSelectedFileInOrder) {
    DialogFixture f;
    const CString dir = f.env.Dir("schemes") + kSep;
    f.Add({dir + "c d.sch", dir + "a.sch", dir + "e.sch", dir + "b.sch"});
    f.dlg->OnListOpen();
    EXPECT_EQ(f.shell.messages.size(), 1u);
    EXPECT_TRUE(f.shell.processes.empty());

    // The path is one argument, blanks and all, after what the editor's own command asks for.
#ifdef _WIN32
    const CString program = "notepad.exe";
    const std::vector<CString> options;
#else
    setenv("VELDRAN_EDITOR", "my-editor --new-window", 1);
    const CString program = "my-editor";
    const std::vector<CString> options = {"--new-window"};
#endif
    f.Select({3, 0, 2});
    driver::ChooseMenuItem(*f.dlg, *f.dlg->GetMenu()->GetSubMenu(0), 0); // "Open"
    ASSERT_EQ(f.shell.processes.size(), 3u);
    const CString expected[] = {dir + "a.sch", dir + "c d.sch", dir + "e.sch"};
    for (int i = 0; i < 3; ++i) {
        std::vector<CString> arguments = options;
        arguments.push_back(expected[i]);
        EXPECT_EQ(f.shell.processes[i].program, program);
        EXPECT_EQ(f.shell.processes[i].arguments, arguments);
    }
    EXPECT_EQ(f.dlg->m_strCurrentFile, expected[2]);

#ifndef _WIN32
    // Without a chosen editor, the desktop's opener.
    unsetenv("VELDRAN_EDITOR");
    f.Select({1});
    f.dlg->OnListOpen();
    EXPECT_EQ(f.shell.processes.back().program, "xdg-open");
    EXPECT_EQ(f.shell.processes.back().arguments, std::vector<CString>({dir + "b.sch"}));
#endif
}

TEST_F(CommandsTest, ShowCommandsOpenThePathsLastBuilt) {
    DialogFixture f;
    f.Add({f.env.Scheme("a.sch", kBefore)});
    // Before any Replace or Create batch file both paths are empty.
    f.Click(IDC_SHOW_LOG);
    f.Click(IDC_SHOW_BATCH);
    ASSERT_EQ(f.shell.processes.size(), 2u);
    EXPECT_EQ(f.shell.processes[0].arguments, std::vector<CString>({""}));
    EXPECT_EQ(f.shell.processes[1].arguments, std::vector<CString>({""}));

    f.Select({0});
    f.Click(IDC_CREATE_BATCH_FILE);
    f.Click(IDC_SHOW_BATCH);
    EXPECT_EQ(f.shell.processes.back().arguments, std::vector<CString>({f.dlg->m_strBatchPath}));
    EXPECT_TRUE(Contains(f.shell.messages.back().text, f.dlg->m_strBatchPath.c_str()));

    f.Type(IDC_FIND_TEXT, "AH36");
    f.Click(IDC_REPLACE);
    const CString builtLog = f.dlg->m_strLogPath;
    // A new base name takes effect only at the next Replace; Show Log File reads it in, though.
    f.Type(IDC_LOG_NAME, "other");
    f.Click(IDC_SHOW_LOG);
    EXPECT_EQ(f.shell.processes.back().arguments, std::vector<CString>({builtLog}));
    EXPECT_EQ(f.dlg->m_strLogName, "other");
}

TEST_F(CommandsTest, ResetClearsStatusAndNote) {
    DialogFixture f;
    f.Click(IDC_RESET_STATUS); // an empty list: nothing to do
    const CString a = f.env.Scheme("a.sch", kBefore);
    const CString dir = f.env.Dir("schemes") + kSep + "b.sch";
    std::filesystem::create_directory(dir);
    f.Add({a, dir, f.env.Scheme("c.sch", kOther)});
    f.Type(IDC_FIND_TEXT, "AH36");
    f.Select({0, 1});
    f.Click(IDC_REPLACE);
    f.dlg->m_listFiles.SetItemText(2, 1, "PROCESSING");
    f.Select({2});
    f.Click(IDC_RESET_STATUS);
    EXPECT_EQ(f.Column(1), std::vector<CString>(3));
    EXPECT_EQ(f.Column(2), std::vector<CString>(3));
    EXPECT_EQ(f.dlg->m_listFiles.GetItemToolTip(1), "");
    EXPECT_EQ(f.dlg->m_listFiles.GetSelectedCount(), 1u);
    EXPECT_EQ(f.Column(0)[0], a);
}

TEST_F(CommandsTest, AboutOpensForEverySystemCommandOfItsRange) {
    DialogFixture f;
    for (UINT id = 0x0010; id <= 0x001F; ++id)
        f.dlg->SendMessage(WM_SYSCOMMAND, id, 0);
    ASSERT_EQ(f.shell.modals.size(), 16u);
    const FakeShell::Modal& about = f.shell.modals.front();
    EXPECT_EQ(about.caption, "About veldran");
    const auto has = [&about](const CString& text) {
        return std::find(about.texts.begin(), about.texts.end(), text) != about.texts.end();
    };
    EXPECT_TRUE(has("veldran Version 1.1"));
    EXPECT_TRUE(has("OK"));
    EXPECT_TRUE(has(kWebAddress));

    f.dlg->SendMessage(WM_SYSCOMMAND, 0x0020, 0);
    f.dlg->SendMessage(WM_SYSCOMMAND, 0x0000, 0);
    EXPECT_EQ(f.shell.modals.size(), 16u);
    // Chosen from the system menu.
    CMenu* system = f.dlg->GetSystemMenu(FALSE);
    driver::ChooseMenuItem(*f.dlg, *system, system->GetMenuItemCount() - 1);
    EXPECT_EQ(f.shell.modals.size(), 17u);

    // In a real modal run, Enter is the About box's OK.
    int result = 0;
    f.shell.runModal = [&result](CDialog& dialog) {
        driver::Later([&dialog] { driver::PressEnter(dialog); });
        result = driver::RunRealModalLoop(dialog);
        return result;
    };
    f.dlg->SendMessage(WM_SYSCOMMAND, IDM_ABOUTBOX, 0);
    EXPECT_EQ(result, int(IDOK));

    // Other system commands do what the platform does: close closes.
    EXPECT_TRUE(f.dlg->IsWindowVisible());
    f.dlg->SendMessage(WM_SYSCOMMAND, SC_CLOSE, 0);
    driver::ProcessMessages();
    EXPECT_FALSE(f.dlg->IsWindowVisible());
    EXPECT_EQ(f.shell.modals.size(), 18u);
}

TEST_F(CommandsTest, ContextMenuOffersOpenAndExcludeAnywhere) {
    DialogFixture f;
    f.Add({"/s/1.sch", "/s/2.sch", "/s/3.sch"});

    // Nothing selected: the menu still shows, and its commands complain.
    f.shell.choose = "Exclude";
    driver::RequestContextMenu(&f.dlg->m_listFiles);
    ASSERT_EQ(f.shell.popups.size(), 1u);
    EXPECT_EQ(f.shell.popups[0], std::vector<CString>({"Open", "Exclude"}));
    EXPECT_EQ(f.shell.messages.size(), 1u);
    f.shell.choose = "Open";
    driver::RequestContextMenu(f.Item(IDC_PROJECT_NAME));
    EXPECT_EQ(f.shell.popups.size(), 2u);
    EXPECT_EQ(f.shell.messages.size(), 2u);

    f.Select({1});
    f.shell.choose = "Exclude";
    driver::RequestContextMenu(&f.dlg->m_listFiles);
    EXPECT_EQ(f.Column(0), std::vector<CString>({"/s/1.sch", "/s/3.sch"}));
    EXPECT_EQ(f.Text(IDC_LISTED), "Listed : 2");
}

TEST_F(CommandsTest, WebLinkStartsTheBrowserOnEveryClick) {
    DialogFixture f;
    f.Click(IDC_WEB_LINK);
    f.Click(IDC_WEB_LINK);
    EXPECT_EQ(f.shell.urls, std::vector<CString>({kWebAddress, kWebAddress}));
}

TEST_F(CommandsTest, MinimisedIconIsCentredTowardZero) {
    EXPECT_EQ(CenteredIconOrigin(CRect(0, 0, 0, 0), 32, 32), CPoint(-15, -15));
    EXPECT_EQ(CenteredIconOrigin(CRect(0, 0, 100, 51), 32, 32), CPoint(34, 10));
    EXPECT_EQ(CWnd::GetSystemMetrics(SM_CXICON), 32);
}
