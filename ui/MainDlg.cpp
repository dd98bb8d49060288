#include "MainDlg.h"

#include "AboutDlg.h"
#include "DataExchange.h"
#include "Maker.h"
#include "Shell.h"
#include "WinApp.h"

#include <EnvironmentTable.h>
#include <FindOnly.h>
#include <OutputPaths.h>
#include <Platform.h>
#include <Records.h>
#include <SafeFile.h>

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
constexpr const char* kNoteChange = "CHANGE";

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
        for (const CString& path : paths)
            m_listFiles.InsertItem(0, path);
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

void CMainDlg::OnBnClickedReplace() {
    UpdateData(TRUE);
    PrepareLogPath();
    PrepareBatchPath();
    SetCursor(LoadCursor(nullptr, IDC_WAIT));

    int nItem = m_listFiles.GetNextItem(-1, LVNI_SELECTED);
    if (nItem == -1) {
        ShowNoSelection();
        return;
    }
    OutputTrouble trouble;
    for (;;) {
        // The successor is fetched before the current file is worked on.
        const int nNext = m_listFiles.GetNextItem(nItem, LVNI_SELECTED);
        m_strCurrentFile = m_listFiles.GetItemText(nItem, kColumnFile);
        SetStatus(nItem, kStatusProcessing);
        m_bChanged = 0;
        const veldran::RewriteOutcome outcome = ProcessFile();
        if (outcome.ok)
            SetStatus(nItem, kStatusReady);
        else
            SetStatus(nItem, kStatusError, outcome.error);
        if (m_bChanged == 1)
            m_listFiles.SetItemText(nItem, kColumnNote, kNoteChange);
        trouble.Note(kChangeLog, m_strLogPath, outcome.logError);
        trouble.Note(kBatchData, m_strBatchPath, outcome.batchError);
        m_listFiles.EnsureVisible(nItem, FALSE);
        UpdateMainWindow();
        if (nNext == -1)
            break;
        nItem = nNext;
    }
    SetCursor(LoadCursor(nullptr, IDC_UPARROW));
    if (!trouble.Empty())
        MessageBox(trouble.Message(), nullptr, MB_OK | MB_ICONWARNING);
}

void CMainDlg::OnBnClickedFindOnly() {
    UpdateData(TRUE);
    SetCursor(LoadCursor(nullptr, IDC_WAIT));
    const int nCount = m_listFiles.GetItemCount();
    for (int nItem = 0; nItem < nCount; ++nItem) {
        m_strCurrentFile = m_listFiles.GetItemText(nItem, kColumnFile);
        SetStatus(nItem, kStatusProcessing);
        CString error;
        switch (veldran::FileContains(m_strCurrentFile, m_strFind, error)) {
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
        m_listFiles.EnsureVisible(nItem, FALSE);
        UpdateMainWindow();
    }
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
    for (;;) {
        const int nNext = m_listFiles.GetNextItem(nItem, LVNI_SELECTED);
        m_strCurrentFile += m_listFiles.GetItemText(nItem, kColumnFile);
        m_strCurrentFile += "\n";
        SetStatus(nItem, kStatusReady);
        written.push_back(nItem);
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
