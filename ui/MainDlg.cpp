#include "MainDlg.h"

#include "DataExchange.h"
#include "Shell.h"
#include "WinApp.h"

#include <EnvironmentTable.h>
#include <OutputPaths.h>
#include <Platform.h>

#include <string>
#include <vector>

namespace {

constexpr const char* kNoSelection = "Operation Failed. No item has been selected!";
constexpr const char* kListedPrefix = "Listed : ";
constexpr const char* kSelectedPrefix = "Selected : ";

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
    {IDC_CREATE_LOG, &CMainDlg::OnBnClickedOption},
    {IDC_CREATE_BATCH_DATA, &CMainDlg::OnBnClickedOption},
    {IDC_DELETE_LOG, &CMainDlg::OnBnClickedOption},
    {IDC_DELETE_BATCH, &CMainDlg::OnBnClickedOption},
};

CString CounterText(const char* prefix, long long count) {
    return CString(prefix) + std::to_string(count);
}

} // namespace

CMainDlg::CMainDlg(QWidget* pParent) : CDialog(IDD, pParent) {
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
    veldran::LoadEnvironmentTable(settings, veldran::kDirSeparator);
    m_strProjectName = settings.projectName;
    m_strSchemeDir = settings.schemeDir;
    m_strLogDir = settings.logDir;
    m_strBatchDir = settings.batchDir;

    UpdateData(FALSE);
    m_btnCreateLog.SetCheck(BST_CHECKED);
    m_btnCreateBatchData.SetCheck(BST_UNCHECKED);
    UpdateMainWindow();
}

void CMainDlg::UpdateMainWindow() {
    // The application's main window is this dialog; without an application object (tests,
    // benchmarks) it is this dialog all the same.
    if (auto* main = dynamic_cast<CDialog*>(AfxGetMainWnd()))
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
    if (AfxGetShell().GetOpenFileNames(this, request, paths)) {
        for (const CString& path : paths)
            m_listFiles.InsertItem(0, path);
    }
    RefreshCounters();
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
