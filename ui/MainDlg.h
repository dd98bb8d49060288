#pragma once
// The main window: the whole state of a run, its data exchange, the file list and every command.
//
// Driving it without a window system's modal loop (tests, benchmarks): install a Shell of your
// own with AfxSetShell (message boxes, the file dialog, editors), construct a CMainDlg, call
// Create() instead of DoModal(), fill the list with Add *.sch File through your Shell's file
// dialog, select with m_listFiles.SetItemState(-1, LVIS_SELECTED, LVIS_SELECTED), put texts
// into the edits with SetDlgItemText and send the commands (SendMessage(WM_COMMAND, id)).

#include "Button.h"
#include "CString.h"
#include "Dialog.h"
#include "ListCtrl.h"
#include "Resource.h"

#include <FileRewrite.h>

#include <cstddef>
#include <string>
#include <vector>

class CMainDlg : public CDialog {
public:
    enum { IDD = IDD_MAIN };

    explicit CMainDlg(CWnd* pParent = nullptr);
    ~CMainDlg() override;

    // Members, in the order of the dialog state.
    HICON m_hIcon;
    CListCtrl m_listFiles;
    CString m_strFind;
    CString m_strReplace;
    CString m_strCurrentFile;
    CString m_strProjectName;
    CString m_strSchemeDir;
    CString m_strListed;
    CString m_strSelected;
    CString m_strLogDir;
    CString m_strLogName;
    int m_bChanged = 0;
    BOOL m_bCreateLog = FALSE;
    CButton m_btnCreateLog;
    CButton m_btnCreateBatchData;
    CString m_strBatchName;
    CString m_strBatchDir;
    CButton m_btnDeleteLog;
    CButton m_btnDeleteBatch;
    CString m_strLogPath;
    CString m_strBatchPath;

    // A test seam: faults injected into the file writes of Replace.
    veldran::WriteFaults* m_pWriteFaults = nullptr;

    // Operations.
    void RefreshCounters();
    void InitFileList();
    void LoadEnvironmentTable();
    void PrepareLogPath();
    void PrepareBatchPath();
    // Rewrites m_strCurrentFile; sets m_bChanged when it replaced something. The outcome says
    // whether the file could be read and written and whether the output files took their
    // records.
    veldran::RewriteOutcome ProcessFile();
    // Appends m_strCurrentFile and a line end to the batch data file. False, with the reason,
    // when the file could not take it.
    bool AppendToBatchData(CString& error);

    // Handlers, as the message map routes them.
    void OnBnClickedAddFiles();
    void OnBnClickedRemove();
    void OnBnClickedReplace();
    void OnListOpen();
    void OnNMClickFileList(NMHDR* pNMHDR, LRESULT* pResult);
    void OnBnClickedFindOnly();
    void OnBnClickedShowLog();
    void OnBnClickedOption();
    void OnBnClickedShowBatch();
    void OnBnClickedCreateBatchFile();
    void OnBnClickedResetStatus();
    void OnStnClickedWebLink();
    void OnEditPreviewReplace();
    void OnEditUndoReplace();
    void OnSysCommand(UINT nID, LPARAM lParam) override;
    void OnPaint() override;
    HCURSOR OnQueryDragIcon() override;
    void OnContextMenu(CWnd* pWnd, CPoint point) override;

    BOOL OnInitDialog() override;

protected:
    void DoDataExchange(CDataExchange* pDX) override;
    BOOL OnCommand(UINT nID) override;
    BOOL OnNotify(NMHDR* pNMHDR, LRESULT* pResult) override;

private:
    // A Status text, with the reason of a failure as the item's tooltip (none otherwise).
    void SetStatus(int nItem, const CString& status, const CString& reason = CString());
    void ShowNoSelection();
    void UpdateMainWindow();
    // The selected items and their paths in list order; false (and the no-selection message)
    // when there are none.
    bool CollectSelection(std::vector<int>& items, std::vector<std::string>& paths);
    // "veldran - n of N" in the caption while a long command runs; the caption alone after.
    void ShowProgress(std::size_t done, std::size_t total);
    void EndProgress();
};
