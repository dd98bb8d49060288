#include "MainDlg.h"

#include "AboutDlg.h"
#include "DataExchange.h"
#include "Maker.h"
#include "PreviewDlg.h"
#include "Shell.h"
#include "WinApp.h"

#include <EnvironmentTable.h>
#include <FindOnly.h>
#include <OutputPaths.h>
#include <Pipeline.h>
#include <Platform.h>
#include <Records.h>
#include <SafeFile.h>
#include <UndoJournal.h>

#include <map>
#include <string>
#include <vector>

namespace {

constexpr const char* kNoSelection = "Operation Failed. No item has been selected!";
constexpr const char* kTableUnreadable = "The environment table could not be read: ";
constexpr const char* kListedPrefix = "Listed : ";
constexpr const char* kSelectedPrefix = "Selected : ";

constexpr const char* kStatusProcessing = "PROCESSING";
constexpr const char* kStatusReady = "READY";
constexpr const char* kStatusFound = "*";
constexpr const char* kStatusError = "ERROR";
constexpr const char* kStatusUndone = "UNDONE";
constexpr const char* kNoteChange = "CHANGE";

// The preview shows at most this much of a diff.
constexpr std::size_t kPreviewLimit = std::size_t(4) << 20;

constexpr int kColumnFile = 0;
constexpr int kColumnStatus = 1;
constexpr int kColumnNote = 2;

// The command map: each control and menu command and its handler.
struct CommandEntry {
    UINT id;
    void (CMainDlg::*handler)();
};

constexpr CommandEntry kCommandMap[] = {
    {IDC_ADD_FILES, &CMainDlg::OnBnClickedAddFiles},
    {IDC_REMOVE, &CMainDlg::OnBnClickedRemove},
    {IDC_REPLACE, &CMainDlg::OnBnClickedReplace},
    {ID_LIST_OPEN, &CMainDlg::OnListOpen},
    {IDC_FIND_ONLY, &CMainDlg::OnBnClickedFindOnly},
    {IDC_SHOW_LOG, &CMainDlg::OnBnClickedShowLog},
    {IDC_CREATE_LOG, &CMainDlg::OnBnClickedOption},
    {IDC_SHOW_BATCH, &CMainDlg::OnBnClickedShowBatch},
    {IDC_CREATE_BATCH_DATA, &CMainDlg::OnBnClickedOption},
    {IDC_DELETE_LOG, &CMainDlg::OnBnClickedOption},
    {IDC_DELETE_BATCH, &CMainDlg::OnBnClickedOption},
    {IDC_CREATE_BATCH_FILE, &CMainDlg::OnBnClickedCreateBatchFile},
    {IDC_RESET_STATUS, &CMainDlg::OnBnClickedResetStatus},
    {IDC_WEB_LINK, &CMainDlg::OnStnClickedWebLink},
    {ID_EDIT_PREVIEW_REPLACE, &CMainDlg::OnEditPreviewReplace},
    {ID_EDIT_UNDO_REPLACE, &CMainDlg::OnEditUndoReplace},
};

CString CounterText(const char* prefix, long long count) {
    return CString(prefix) + std::to_string(count);
}

// The file rewrite asks the two option boxes themselves, each time it needs their state.
class LiveOptionBoxes final : public veldran::OptionBoxes {
public:
    explicit LiveOptionBoxes(const CMainDlg& dialog) : m_dialog(dialog) {}
    bool CreateLogTicked() override { return m_dialog.m_btnCreateLog.GetCheck() == BST_CHECKED; }
    bool CreateBatchDataTicked() override {
        return m_dialog.m_btnCreateBatchData.GetCheck() == BST_CHECKED;
    }

private:
    const CMainDlg& m_dialog;
};

// Output files that refused their records during one command, told once when it ends.
class OutputTrouble {
public:
    void Note(const char* what, const CString& path, const CString& reason) {
        if (reason.empty())
            return;
        for (const Entry& e : m_entries)
            if (e.path == path)
                return;
        m_entries.push_back({what, path, reason});
    }

    bool Empty() const { return m_entries.empty(); }

    CString Message() const {
        CString text;
        for (const Entry& e : m_entries) {
            if (!text.empty())
                text += "\n\n";
            text += CString(e.what) + " could not be written:\n" + e.path + "\n" + e.reason;
        }
        return text;
    }

private:
    struct Entry {
        const char* what;
        CString path;
        CString reason;
    };
    std::vector<Entry> m_entries;
};

constexpr const char* kChangeLog = "The change log";
constexpr const char* kBatchData = "The batch data file";
constexpr const char* kUndoJournal = "The undo journal";

} // namespace

CMainDlg::CMainDlg(CWnd* pParent) : CDialog(IDD, pParent) {
    m_hIcon = AfxLoadIcon(IDR_MAINFRAME);
}

CMainDlg::~CMainDlg() = default;

void CMainDlg::DoDataExchange(CDataExchange* pDX) {
    CDialog::DoDataExchange(pDX);
    DDX_Control(pDX, IDC_FILE_LIST, m_listFiles);
    DDX_Text(pDX, IDC_FIND_TEXT, m_strFind);
    DDX_Text(pDX, IDC_REPLACE_TEXT, m_strReplace);
    DDX_Text(pDX, IDC_PROJECT_NAME, m_strProjectName);
    DDX_Text(pDX, IDC_LISTED, m_strListed);
    DDX_Text(pDX, IDC_SELECTED, m_strSelected);
    DDX_Text(pDX, IDC_LOG_DIR, m_strLogDir);
    DDX_Text(pDX, IDC_LOG_NAME, m_strLogName);
    DDX_Check(pDX, IDC_CREATE_LOG, m_bCreateLog);
    DDX_Control(pDX, IDC_CREATE_LOG, m_btnCreateLog);
    DDX_Control(pDX, IDC_CREATE_BATCH_DATA, m_btnCreateBatchData);
    DDX_Text(pDX, IDC_BATCH_NAME, m_strBatchName);
    DDX_Text(pDX, IDC_BATCH_DIR, m_strBatchDir);
    DDX_Control(pDX, IDC_DELETE_LOG, m_btnDeleteLog);
    DDX_Control(pDX, IDC_DELETE_BATCH, m_btnDeleteBatch);
}

BOOL CMainDlg::OnCommand(UINT nID) {
    for (const CommandEntry& entry : kCommandMap) {
        if (entry.id == nID) {
            (this->*entry.handler)();
            return TRUE;
        }
    }
    return CDialog::OnCommand(nID);
}

BOOL CMainDlg::OnNotify(NMHDR* pNMHDR, LRESULT* pResult) {
    if (pNMHDR->idFrom == IDC_FILE_LIST && pNMHDR->code == NM_CLICK) {
        OnNMClickFileList(pNMHDR, pResult);
        return TRUE;
    }
    return CDialog::OnNotify(pNMHDR, pResult);
}

// ---------------------------------------------------------------------------------------------
// Initialisation

BOOL CMainDlg::OnInitDialog() {
    CDialog::OnInitDialog();

    if (CMenu* pSysMenu = GetSystemMenu(FALSE)) {
        const CString strAboutMenu = LoadResourceString(IDS_ABOUTBOX);
        if (!strAboutMenu.empty()) {
            pSysMenu->AppendMenu(MF_SEPARATOR);
            pSysMenu->AppendMenu(MF_STRING, IDM_ABOUTBOX, strAboutMenu.c_str());
        }
    }

    SetIcon(m_hIcon, TRUE);
    SetIcon(m_hIcon, FALSE);

    InitFileList();
    LoadEnvironmentTable();
    return TRUE;
}

void CMainDlg::InitFileList() {
    m_listFiles.InsertColumn(kColumnFile, "Input File", LVCFMT_LEFT, 475);
    m_listFiles.InsertColumn(kColumnStatus, "Status", LVCFMT_LEFT, 50);
    m_listFiles.InsertColumn(kColumnNote, "Note", LVCFMT_LEFT, 75);
    m_listFiles.SetExtendedStyle(LVS_EX_GRIDLINES | LVS_EX_TRACKSELECT);
}

void CMainDlg::LoadEnvironmentTable() {
    veldran::EnvironmentSettings settings{m_strProjectName, m_strSchemeDir, m_strLogDir,
                                          m_strBatchDir};
    const std::string problem = veldran::LoadEnvironmentTable(settings, veldran::kDirSeparator);
    m_strProjectName = settings.projectName;
    m_strSchemeDir = settings.schemeDir;
    m_strLogDir = settings.logDir;
    m_strBatchDir = settings.batchDir;

    UpdateData(FALSE);
    m_btnCreateLog.SetCheck(BST_CHECKED);
    m_btnCreateBatchData.SetCheck(BST_UNCHECKED);
    UpdateMainWindow();
    // A table that was named but not read leaves every directory empty: say so once, so
    // nobody takes the empty fields for the project's settings.
    if (!problem.empty())
        MessageBox(kTableUnreadable + problem, nullptr, MB_OK | MB_ICONWARNING);
}

void CMainDlg::UpdateMainWindow() {
    // The application's main window is this dialog; without an application object (tests,
    // benchmarks) it is this dialog all the same.
    if (CWnd* main = AfxGetMainWnd())
        main->UpdateWindow();
    else
        UpdateWindow();
}

void CMainDlg::OnBnClickedOption() {
    UpdateData(TRUE);
}

void CMainDlg::RefreshCounters() {
    m_strListed = CounterText(kListedPrefix, m_listFiles.GetItemCount());
    m_strSelected = CounterText(kSelectedPrefix, m_listFiles.GetSelectedCount());
    UpdateData(FALSE);
}

// ---------------------------------------------------------------------------------------------
// The file list

void CMainDlg::OnBnClickedAddFiles() {
    UpdateData(TRUE);
    // The list is emptied before the dialog opens, so it is empty whatever the dialog returns.
    m_listFiles.DeleteAllItems();

    OpenFileRequest request;
    request.initialDir = m_strSchemeDir;
    request.filterDescription = "Scheme File";
    request.filterPattern = "*.sch";
    request.flags = OFN_ALLOWMULTISELECT | OFN_ENABLEHOOK | OFN_EXPLORER | OFN_ENABLESIZING;
    std::vector<CString> paths;
    CString error;
    if (AfxGetShell().GetOpenFileNames(this, request, paths, error)) {
        // Thousands of files go in at once: the list is drawn once, not once for each.
        m_listFiles.SetRedraw(FALSE);
        for (const CString& path : paths)
            m_listFiles.InsertItem(0, path);
        m_listFiles.SetRedraw(TRUE);
    }
    RefreshCounters();
    // A dialog that failed is not a dialog that was cancelled.
    if (!error.empty())
        MessageBox(error, nullptr, MB_OK | MB_ICONWARNING);
}

void CMainDlg::OnBnClickedRemove() {
    if (m_listFiles.GetNextItem(-1, LVNI_SELECTED) == -1) {
        ShowNoSelection();
        return;
    }
    int nItem;
    while ((nItem = m_listFiles.GetNextItem(-1, LVNI_SELECTED)) != -1)
        m_listFiles.DeleteItem(nItem);
    RefreshCounters();
}

void CMainDlg::OnNMClickFileList(NMHDR* /*pNMHDR*/, LRESULT* pResult) {
    UpdateData(TRUE);
    m_strSelected = CounterText(kSelectedPrefix, m_listFiles.GetSelectedCount());
    UpdateData(FALSE);
    *pResult = 0;
}

void CMainDlg::SetStatus(int nItem, const CString& status, const CString& reason) {
    m_listFiles.SetItemText(nItem, kColumnStatus, status);
    m_listFiles.SetItemToolTip(nItem, reason);
}

void CMainDlg::ShowNoSelection() {
    MessageBox(kNoSelection);
}

// ---------------------------------------------------------------------------------------------
// Output paths and the core's work

void CMainDlg::PrepareLogPath() {
    m_strLogPath = veldran::PrepareOutputPath(
        m_strLogName, m_strLogDir, veldran::kLogDefaultName, veldran::kLogExtension,
        [this] { UpdateData(FALSE); }, [this] { return m_btnDeleteLog.GetCheck() == BST_CHECKED; });
}

void CMainDlg::PrepareBatchPath() {
    m_strBatchPath = veldran::PrepareOutputPath(
        m_strBatchName, m_strBatchDir, veldran::kBatchDefaultName, veldran::kBatchExtension,
        [this] { UpdateData(FALSE); },
        [this] { return m_btnDeleteBatch.GetCheck() == BST_CHECKED; });
}

veldran::RewriteOutcome CMainDlg::ProcessFile() {
    const veldran::RewriteJob job{m_strCurrentFile, m_strFind, m_strReplace, m_strLogPath,
                                  m_strBatchPath};
    LiveOptionBoxes boxes(*this);
    veldran::RewriteOutcome outcome = veldran::ProcessFile(job, boxes, m_pWriteFaults);
    if (outcome.changed)
        m_bChanged = 1;
    return outcome;
}

bool CMainDlg::AppendToBatchData(CString& error) {
    return veldran::AppendToFile(
        m_strBatchPath, veldran::ToNativeLineEnds(veldran::BatchRecord(m_strCurrentFile)), error);
}

// ---------------------------------------------------------------------------------------------
// Commands

bool CMainDlg::CollectSelection(std::vector<int>& items, std::vector<std::string>& paths) {
    for (int nItem = m_listFiles.GetNextItem(-1, LVNI_SELECTED); nItem != -1;
         nItem = m_listFiles.GetNextItem(nItem, LVNI_SELECTED)) {
        items.push_back(nItem);
        paths.push_back(m_listFiles.GetItemText(nItem, kColumnFile));
    }
    if (items.empty())
        ShowNoSelection();
    return !items.empty();
}

void CMainDlg::ShowProgress(std::size_t done, std::size_t total) {
    SetWindowText(CString(Template()->caption) + " - " + std::to_string(done) + " of " +
                  std::to_string(total));
}

void CMainDlg::EndProgress() {
    SetWindowText(Template()->caption);
}

void CMainDlg::OnBnClickedReplace() {
    UpdateData(TRUE);
    PrepareLogPath();
    PrepareBatchPath();
    SetCursor(LoadCursor(nullptr, IDC_WAIT));

    // The selection cannot change during the command: it is taken once, in list order.
    std::vector<int> items;
    std::vector<std::string> paths;
    if (!CollectSelection(items, paths))
        return;
    OutputTrouble trouble;
    const CString journalFolder = veldran::UndoJournal::FolderIn(m_strLogDir);
    veldran::RewriteJob job{CString(), m_strFind, m_strReplace, m_strLogPath, m_strBatchPath};
    // A new Replace starts a new journal. Where none can be kept, the replace still runs, and
    // says that it cannot be undone.
    veldran::UndoJournal journal;
    CString journalError;
    if (journal.Start(m_strLogDir, journalError))
        job.journal = &journal;
    else
        trouble.Note(kUndoJournal, journalFolder, journalError + "; this replace cannot be undone");
    // Read once: they cannot change during the command, and the pipeline's threads never touch
    // a control.
    veldran::FixedOptionBoxes boxes(m_btnCreateLog.GetCheck() == BST_CHECKED,
                                    m_btnCreateBatchData.GetCheck() == BST_CHECKED);
    veldran::PipelineSettings settings;
    settings.faults = m_pWriteFaults;

    const std::size_t total = items.size();
    ShowProgress(0, total);
    SetStatus(items[0], kStatusProcessing);
    veldran::ReplaceFiles(
        paths, job, boxes, settings, [&](std::size_t i, const veldran::RewriteOutcome& outcome) {
            const int nItem = items[i];
            m_strCurrentFile = paths[i];
            m_bChanged = outcome.changed ? 1 : 0;
            if (outcome.ok)
                SetStatus(nItem, kStatusReady);
            else
                SetStatus(nItem, kStatusError, outcome.error);
            if (m_bChanged == 1)
                m_listFiles.SetItemText(nItem, kColumnNote, kNoteChange);
            trouble.Note(kChangeLog, m_strLogPath, outcome.logError);
            trouble.Note(kBatchData, m_strBatchPath, outcome.batchError);
            if (!outcome.journalError.empty())
                trouble.Note(kUndoJournal, journalFolder,
                             outcome.journalError + "; the files after it cannot be undone");
            // The next file is the one the committer now waits for.
            if (i + 1 < total)
                SetStatus(items[i + 1], kStatusProcessing);
            ShowProgress(i + 1, total);
            m_listFiles.EnsureVisible(nItem, FALSE);
            UpdateMainWindow();
        });
    EndProgress();
    SetCursor(LoadCursor(nullptr, IDC_UPARROW));
    if (!trouble.Empty())
        MessageBox(trouble.Message(), nullptr, MB_OK | MB_ICONWARNING);
}

void CMainDlg::OnBnClickedFindOnly() {
    UpdateData(TRUE);
    SetCursor(LoadCursor(nullptr, IDC_WAIT));
    const int nCount = m_listFiles.GetItemCount();
    std::vector<std::string> paths;
    for (int nItem = 0; nItem < nCount; ++nItem)
        paths.push_back(m_listFiles.GetItemText(nItem, kColumnFile));
    if (nCount > 0) {
        ShowProgress(0, paths.size());
        SetStatus(0, kStatusProcessing);
    }
    veldran::FindInFiles(paths, m_strFind, veldran::PipelineSettings{},
                         [&](std::size_t i, veldran::FindResult result, const std::string& error) {
                             const int nItem = static_cast<int>(i);
                             m_strCurrentFile = paths[i];
                             switch (result) {
                             case veldran::FindResult::Found:
                                 SetStatus(nItem, kStatusFound);
                                 break;
                             case veldran::FindResult::NotFound:
                                 SetStatus(nItem, CString());
                                 break;
                             case veldran::FindResult::Error:
                                 // An unreadable file is not a file without a match.
                                 SetStatus(nItem, kStatusError, error);
                                 break;
                             }
                             if (nItem + 1 < nCount)
                                 SetStatus(nItem + 1, kStatusProcessing);
                             ShowProgress(i + 1, paths.size());
                             m_listFiles.EnsureVisible(nItem, FALSE);
                             UpdateMainWindow();
                         });
    if (nCount > 0)
        EndProgress();
    SetCursor(LoadCursor(nullptr, IDC_UPARROW));
}

void CMainDlg::OnBnClickedCreateBatchFile() {
    UpdateData(TRUE);
    PrepareBatchPath();
    SetCursor(LoadCursor(nullptr, IDC_WAIT));

    int nItem = m_listFiles.GetNextItem(-1, LVNI_SELECTED);
    if (nItem == -1) {
        ShowNoSelection();
        return;
    }
    m_strCurrentFile.clear();
    std::vector<int> written;
    const std::size_t total = m_listFiles.GetSelectedCount();
    for (;;) {
        const int nNext = m_listFiles.GetNextItem(nItem, LVNI_SELECTED);
        m_strCurrentFile += m_listFiles.GetItemText(nItem, kColumnFile);
        m_strCurrentFile += "\n";
        SetStatus(nItem, kStatusReady);
        written.push_back(nItem);
        ShowProgress(written.size(), total);
        m_listFiles.EnsureVisible(nItem, FALSE);
        UpdateMainWindow();
        if (nNext == -1)
            break;
        nItem = nNext;
    }
    CString error;
    const bool appended = AppendToBatchData(error);
    if (!appended) {
        // None of the paths reached the file: no item may say it is ready for the batch run.
        for (const int nWritten : written)
            SetStatus(nWritten, kStatusError, error);
        UpdateMainWindow();
    }
    EndProgress();
    SetCursor(LoadCursor(nullptr, IDC_UPARROW));
    if (!appended) {
        // Saying the file was created when it was not would send a batch run after nothing.
        OutputTrouble trouble;
        trouble.Note(kBatchData, m_strBatchPath, error);
        MessageBox(trouble.Message(), nullptr, MB_OK | MB_ICONWARNING);
        return;
    }
    MessageBox("Batch file created \n\n" + m_strBatchPath, "Batch file ready", MB_OK);
}

void CMainDlg::OnListOpen() {
    int nItem = m_listFiles.GetNextItem(-1, LVNI_SELECTED);
    if (nItem == -1) {
        ShowNoSelection();
        return;
    }
    while (nItem != -1) {
        const int nNext = m_listFiles.GetNextItem(nItem, LVNI_SELECTED);
        m_strCurrentFile = m_listFiles.GetItemText(nItem, kColumnFile);
        StartTextEditor(m_strCurrentFile);
        nItem = nNext;
    }
}

void CMainDlg::OnBnClickedShowLog() {
    UpdateData(TRUE);
    StartTextEditor(m_strLogPath);
}

void CMainDlg::OnBnClickedShowBatch() {
    UpdateData(TRUE);
    StartTextEditor(m_strBatchPath);
}

void CMainDlg::OnBnClickedResetStatus() {
    const int nCount = m_listFiles.GetItemCount();
    for (int nItem = 0; nItem < nCount; ++nItem) {
        SetStatus(nItem, CString());
        m_listFiles.SetItemText(nItem, kColumnNote, CString());
    }
}

void CMainDlg::OnEditPreviewReplace() {
    UpdateData(TRUE);
    std::vector<int> items;
    std::vector<std::string> paths;
    if (!CollectSelection(items, paths))
        return;
    SetCursor(LoadCursor(nullptr, IDC_WAIT));
    const ReplacePreview preview =
        MakeReplacePreview(paths, m_strFind, m_strReplace, kPreviewLimit);
    SetCursor(LoadCursor(nullptr, IDC_UPARROW));
    CPreviewDlg dlgPreview(preview, this);
    dlgPreview.DoModal();
}

void CMainDlg::OnEditUndoReplace() {
    SetCursor(LoadCursor(nullptr, IDC_WAIT));
    std::map<CString, std::vector<int>> listed;
    const int nCount = m_listFiles.GetItemCount();
    for (int nItem = 0; nItem < nCount; ++nItem)
        listed[m_listFiles.GetItemText(nItem, kColumnFile)].push_back(nItem);
    std::size_t restored = 0;
    std::size_t failed = 0;
    CString unlisted; // files that could not be restored and have no item to say so
    CString error;
    const bool any = veldran::UndoLastReplace(
        m_strLogDir,
        [&](const std::string& path, const std::string& why) {
            ++(why.empty() ? restored : failed);
            const auto found = listed.find(path);
            if (found == listed.end()) {
                if (!why.empty())
                    unlisted += "\n\n" + path + "\n" + why;
                return;
            }
            for (const int nItem : found->second) {
                if (why.empty()) {
                    SetStatus(nItem, kStatusUndone);
                    m_listFiles.SetItemText(nItem, kColumnNote, CString());
                } else {
                    SetStatus(nItem, kStatusError, why);
                }
                m_listFiles.EnsureVisible(nItem, FALSE);
            }
            UpdateMainWindow();
        },
        error);
    SetCursor(LoadCursor(nullptr, IDC_UPARROW));
    if (!any) {
        MessageBox("There is no Replace to undo (" + error + ").", nullptr, MB_OK);
        return;
    }
    CString summary = std::to_string(restored) + (restored == 1 ? " file" : " files") +
                      " restored, " + std::to_string(failed) + " not restored.";
    // The journal stopped early: files that Replace changed later stay changed.
    if (!error.empty())
        summary += "\n\n" + error + ".";
    MessageBox(summary + unlisted, nullptr,
               failed == 0 && error.empty() ? MB_OK : MB_OK | MB_ICONWARNING);
}

// ---------------------------------------------------------------------------------------------
// Around the window

void CMainDlg::OnSysCommand(UINT nID, LPARAM lParam) {
    if ((nID & 0xFFF0) == IDM_ABOUTBOX) {
        CAboutDlg dlgAbout;
        dlgAbout.DoModal();
    } else {
        CDialog::OnSysCommand(nID, lParam);
    }
}

void CMainDlg::OnPaint() {
    if (!IsIconic()) {
        CDialog::OnPaint();
        return;
    }
    CPaintDC dc(this);
    SendMessage(WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc.GetSafeHdc()), 0);
    const int cxIcon = GetSystemMetrics(SM_CXICON);
    const int cyIcon = GetSystemMetrics(SM_CYICON);
    CRect rect;
    GetClientRect(&rect);
    const CPoint at = CenteredIconOrigin(rect, cxIcon, cyIcon);
    dc.DrawIcon(at.x, at.y, m_hIcon);
}

HCURSOR CMainDlg::OnQueryDragIcon() {
    return m_hIcon;
}

void CMainDlg::OnContextMenu(CWnd* /*pWnd*/, CPoint point) {
    CMenu* menu = GetMenu();
    CMenu* popup = menu ? menu->GetSubMenu(0) : nullptr;
    if (popup)
        popup->TrackPopupMenu(TPM_LEFTALIGN | TPM_LEFTBUTTON, point.x, point.y, this);
}

void CMainDlg::OnStnClickedWebLink() {
    AfxGetShell().OpenUrl(kWebAddress);
}
