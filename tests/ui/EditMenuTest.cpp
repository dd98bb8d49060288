// The Edit menu (Preview Replace..., Undo Last Replace) and the caption's progress, through the
// fake Shell, on whichever backend is built.
#include "UiTestSupport.h"

#include <PreviewDlg.h>
#include <SafeFile.h>
#include <UnifiedDiff.h>

#include <filesystem>

namespace {

const std::string kBefore = "PLATE,P1,MAT=AH36\nSTIFF,S1,MAT=AH36\n";
const std::string kAfter = "PLATE,P1,MAT=AH40\nSTIFF,S1,MAT=AH40\n";
// A file with CR LF line ends and nothing to replace: left as it is on every platform.
const std::string kNoMatch = "PLATE,P9\r\n";

bool Contains(const CString& text, const CString& part) {
    return text.find(part) != CString::npos;
}

// A fixture with files a.sch..., all selected, and the texts typed.
struct Replaced : DialogFixture {
    std::vector<CString> paths;
    explicit Replaced(const std::vector<std::string>& contents) {
        for (std::size_t i = 0; i < contents.size(); ++i)
            paths.push_back(env.Scheme(std::string(1, char('a' + i)) + ".sch", contents[i]));
        Add(paths);
        Type(IDC_FIND_TEXT, "AH36");
        Type(IDC_REPLACE_TEXT, "AH40");
        dlg->m_listFiles.SetItemState(-1, LVIS_SELECTED, LVIS_SELECTED);
    }
    void Choose(int position) {
        driver::ChooseMenuItem(*dlg, *dlg->GetMenu()->GetSubMenu(1), position);
    }
};

} // namespace

TEST(EditMenuTest, SecondPopupOffersPreviewAndUndo) {
    DialogFixture f;
    CMenu* bar = f.dlg->GetMenu();
    CString title;
    bar->GetMenuString(1, title, MF_BYPOSITION);
    EXPECT_EQ(title, "Edit");
    CMenu* edit = bar->GetSubMenu(1);
    ASSERT_TRUE(edit);
    ASSERT_EQ(edit->GetMenuItemCount(), 2);
    const std::pair<const char*, UINT> items[] = {{"Preview Replace...", ID_EDIT_PREVIEW_REPLACE},
                                                  {"Undo Last Replace", ID_EDIT_UNDO_REPLACE}};
    for (int i = 0; i < 2; ++i) {
        CString text;
        edit->GetMenuString(static_cast<UINT>(i), text, MF_BYPOSITION);
        EXPECT_EQ(text, items[i].first);
        EXPECT_EQ(edit->GetMenuItemID(i), items[i].second);
    }
}

TEST(EditMenuTest, PreviewShowsTheDiffOfTheSelectedFilesAndWritesNothing) {
    const std::string crlf = std::string("X\0AH36\r\nY\r\n", 11);
    const std::string mixed = "A,AH36\nB\r\n";
    Replaced f({crlf, kNoMatch, mixed});
    const CString directory = f.env.Dir("schemes") + kSep + "d.sch";
    std::filesystem::create_directory(directory);
    f.Add({f.paths[0], f.paths[1], f.paths[2], directory});
    f.dlg->m_listFiles.SetItemState(-1, LVIS_SELECTED, LVIS_SELECTED);
    CString note;
    CString text;
    f.shell.runModal = [&](CDialog& dialog) {
        dialog.GetDlgItemText(IDC_PREVIEW_NOTE, note);
        dialog.GetDlgItemText(IDC_PREVIEW_TEXT, text);
        return IDCANCEL;
    };
    f.Choose(0);
    ASSERT_EQ(f.shell.modals.size(), 1u);
    EXPECT_EQ(f.shell.modals[0].caption, "Preview Replace");
    // The diff of each file that would change, in list order. A zero byte shows as ^@; a CR
    // that ends a line is its line end, unless the file's line ends change (a LF becoming
    // CR LF); the unreadable file is named with its reason.
    const CString a = f.paths[0];
    const CString c = f.paths[2];
    const CString expected = "--- " + a + "\n+++ " + a +
                             "\n@@ -1,2 +1,2 @@\n-X^@AH36\n+X^@AH40\n Y\n"
                             "--- " +
                             c + "\n+++ " + c +
                             "\n@@ -1,2 +1,2 @@\n-A,AH36\n+A,AH40^M\n B^M\n*** " + directory + ": ";
    EXPECT_EQ(text.substr(0, expected.size()), expected);
    EXPECT_EQ(note, "2 files of 4 would change, 2 replacements; 1 could not be read. Nothing has "
                    "been written.");
    // Nothing written: no file, log, batch data or journal.
    EXPECT_EQ(ReadFile(f.paths[0]), crlf);
    EXPECT_EQ(ReadFile(f.paths[2]), mixed);
    EXPECT_TRUE(std::filesystem::is_empty(f.env.Dir("log")));
    EXPECT_TRUE(std::filesystem::is_empty(f.env.Dir("data")));
    EXPECT_EQ(f.Column(1), std::vector<CString>(4));

    // Nothing selected: the usual message, no dialog.
    f.Select({});
    f.Choose(0);
    EXPECT_EQ(f.shell.modals.size(), 1u);
    ASSERT_EQ(f.shell.messages.size(), 1u);
    EXPECT_EQ(f.shell.messages[0].text, "Operation Failed. No item has been selected!");
}

TEST(EditMenuTest, PreviewPastItsLimitShowsWholeLinesOfTheFirstPartAndSaysSo) {
    TestEnvironment env;
    std::vector<std::string> paths;
    for (const char* name : {"a.sch", "b.sch", "c.sch"})
        paths.push_back(env.Scheme(name, kBefore));
    const ReplacePreview all = MakeReplacePreview(paths, "AH36", "AH40", 1 << 20);
    const std::size_t limit = all.text.size() / 2;
    const ReplacePreview part = MakeReplacePreview(paths, "AH36", "AH40", limit);
    ASSERT_GT(part.text.size(), 0u);
    EXPECT_LE(part.text.size(), limit);
    EXPECT_EQ(part.text, all.text.substr(0, part.text.size()));
    EXPECT_EQ(part.text.back(), '\n');
    EXPECT_TRUE(Contains(part.note, "only its first part is shown, up to " + paths[1]))
        << part.note;
}

// A name is shown as its diff header gives it, so no line end, CR or other control byte in a
// name can start a line of the preview or cut its note.
TEST(EditMenuTest, PreviewNamesEachFileOnOneLineWhateverItsName) {
#ifdef _WIN32
    GTEST_SKIP() << "Windows file names hold no control bytes";
#else
    TestEnvironment env;
    const std::string changing = env.Scheme("a\r\n--- b.sch", kBefore);
    const std::string unreadable = env.Dir("schemes") + kSep + "d\n*** e.sch\r";
    std::filesystem::create_directory(unreadable);
    const ReplacePreview all =
        MakeReplacePreview({changing, unreadable, changing}, "AH36", "AH40", 1 << 20);
    const ReplacePreview part =
        MakeReplacePreview({changing, unreadable, changing}, "AH36", "AH40", 100);
    for (const CString& text : {all.text, part.note, all.note})
        EXPECT_EQ(text.find('\r'), CString::npos) << text;
    EXPECT_TRUE(Contains(all.text, "\n*** " + veldran::DiffName(unreadable) + ": ")) << all.text;
    std::size_t failures = 0;
    std::size_t headers = 0;
    for (std::size_t at = 0; at < all.text.size(); at = all.text.find('\n', at) + 1) {
        failures += all.text.compare(at, 4, "*** ") == 0 ? 1 : 0;
        headers += all.text.compare(at, 4, "--- ") == 0 ? 1 : 0;
    }
    EXPECT_EQ(failures, 1u) << all.text;
    EXPECT_EQ(headers, 2u) << all.text;
    EXPECT_EQ(part.note.find('\n'), CString::npos) << part.note;
    EXPECT_TRUE(Contains(part.note, "up to " + veldran::DiffName(changing))) << part.note;
#endif
}

TEST(EditMenuTest, PreviewDialogResizesWithItsTextFillingIt) {
    Replaced f({kBefore});
    CRect textBefore;
    CRect textAfter;
    CRect close;
    CRect clientBefore;
    CRect client;
    CRect margin(7, 7, 0, 0);
    f.shell.runModal = [&](CDialog& dialog) {
        driver::Later([&] {
            CWnd* text = dialog.GetDlgItem(IDC_PREVIEW_TEXT);
            text->GetWindowRect(&textBefore);
            dialog.GetClientRect(&clientBefore);
            dialog.MoveWindow(0, 0, clientBefore.Width() + 100, clientBefore.Height() + 80);
            driver::ProcessMessages();
            dialog.GetClientRect(&client);
            text->GetWindowRect(&textAfter);
            dialog.GetDlgItem(IDCANCEL)->GetWindowRect(&close);
            dialog.ScreenToClient(&close);
            dialog.MapDialogRect(&margin);
            driver::PressEscape(dialog);
        });
        return driver::RunRealModalLoop(dialog);
    };
    f.Choose(0);
    EXPECT_EQ(client.Width(), clientBefore.Width() + 100);
    EXPECT_EQ(client.Height(), clientBefore.Height() + 80);
    EXPECT_EQ(textAfter.Width(), textBefore.Width() + 100);
    EXPECT_EQ(textAfter.Height(), textBefore.Height() + 80);
    // Close keeps its margin to the lower right corner.
    EXPECT_EQ(close.right, client.right - margin.left);
    EXPECT_EQ(close.bottom, client.bottom - margin.top);
}

TEST(EditMenuTest, UndoRestoresWhatItCanAndMarksEachListedFile) {
    Replaced f({kBefore, kBefore, kNoMatch});
    f.Choose(1); // nothing to undo yet
    ASSERT_EQ(f.shell.messages.size(), 1u);
    EXPECT_TRUE(Contains(f.shell.messages[0].text, "no Replace to undo"));

    f.Click(IDC_REPLACE);
    EXPECT_EQ(f.Column(2), std::vector<CString>({"CHANGE", "CHANGE", ""}));
    WriteFile(f.paths[1], "edited since\n");
    f.Choose(1);
    EXPECT_EQ(ReadFile(f.paths[0]), kBefore);
    EXPECT_EQ(ReadFile(f.paths[1]), "edited since\n");
    // The file the Replace left as it was is not the journal's: it keeps its status.
    EXPECT_EQ(f.Column(1), std::vector<CString>({"UNDONE", "ERROR", "READY"}));
    EXPECT_EQ(f.Column(2), std::vector<CString>({"", "CHANGE", ""}));
    EXPECT_EQ(f.dlg->m_listFiles.GetItemToolTip(0), "");
    EXPECT_TRUE(Contains(f.dlg->m_listFiles.GetItemToolTip(1), "changed since the replace"));
    ASSERT_EQ(f.shell.messages.size(), 2u);
    EXPECT_EQ(f.shell.messages[1].text, "1 file restored, 1 not restored.");
    EXPECT_EQ(f.shell.messages[1].type, MB_OK | MB_ICONWARNING);
    EXPECT_EQ(f.shell.messages[1].caption, AppName());
}

TEST(EditMenuTest, ReplaceWithoutAJournalStillRunsAndSaysItCannotBeUndone) {
    Replaced f({kBefore, kBefore});
    // The log directory is gone, and no log is asked for: only the journal has nowhere to go.
    std::filesystem::remove(f.env.Dir("log"));
    f.Click(IDC_CREATE_LOG);
    f.Click(IDC_REPLACE);
    EXPECT_EQ(ReadFile(f.paths[0]), Native(kAfter));
    EXPECT_EQ(f.Column(1), std::vector<CString>({"READY", "READY"}));
    ASSERT_EQ(f.shell.messages.size(), 1u);
    EXPECT_TRUE(Contains(f.shell.messages[0].text, "undo journal")) << f.shell.messages[0].text;
    EXPECT_TRUE(Contains(f.shell.messages[0].text, "cannot be undone"));
}

TEST(EditMenuTest, CaptionCountsTheFilesOfAReplaceAndComesBack) {
    // Each file's swap sees the caption of the files done before it.
    class Captions : public veldran::WriteFaults {
    public:
        explicit Captions(CMainDlg& dlg) : m_dlg(dlg) {}
        int Inject(veldran::WriteStep step) override {
            if (step == veldran::WriteStep::Rename) {
                CString title;
                m_dlg.GetWindowText(title);
                seen.push_back(title);
            }
            return 0;
        }
        std::vector<CString> seen;

    private:
        CMainDlg& m_dlg;
    };
    Replaced f({kBefore, kBefore, kBefore});
    Captions captions(*f.dlg);
    f.dlg->m_pWriteFaults = &captions;
    f.Click(IDC_REPLACE);
    EXPECT_EQ(captions.seen,
              std::vector<CString>({"veldran - 0 of 3", "veldran - 1 of 3", "veldran - 2 of 3"}));
    for (const int id : {IDC_REPLACE, IDC_FIND_ONLY, IDC_CREATE_BATCH_FILE}) {
        f.Click(id);
        CString title;
        f.dlg->GetWindowText(title);
        EXPECT_EQ(title, "veldran") << id;
    }
}
