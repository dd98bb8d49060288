#pragma once
// A dialog built from a template of dialog units, the way the Windows dialog manager builds one:
// controls created in template order (which is the tab order), placed with the base units of
// the dialog's font, found by their ids. Its messages pass through one message map (Dispatch) to
// overridable handlers, on every backend alike.

#include "CString.h"
#include "DialogTemplate.h"
#include "Menu.h"
#include "WinDefs.h"
#include "Wnd.h"

#include <memory>
#include <vector>

class CDataExchange;
// What a backend keeps for one dialog window besides its handle; the backend deletes it.
struct DialogState;
struct DialogStateDeleter {
    void operator()(DialogState* state) const;
};

class CDialog : public CWnd {
public:
    explicit CDialog(UINT nIDTemplate, CWnd* pParentWnd = nullptr);
    ~CDialog() override;

    // Creates the window from its template, initialises it, runs it through the Shell until it
    // ends, destroys it, and returns how it ended (-1: it could not be created).
    virtual int DoModal();
    // Creates and initialises the window, shown as its template says, with no modal loop: for
    // tests and benchmarks that drive the commands directly.
    BOOL Create();
    void DestroyWindow();
    // Ends the modal run with a result; the window hides.
    void EndDialog(int nResult);
    // For a Shell's modal loop: whether EndDialog has not been called yet, and its result.
    BOOL ContinueModal() const { return m_bContinueModal; }
    int GetModalResult() const { return m_nModalResult; }

    BOOL UpdateData(BOOL bSaveAndValidate = TRUE);
    CWnd* GetDlgItem(int nID) const;
    void GetDlgItemText(int nID, CString& rString) const;
    void SetDlgItemText(int nID, const CString& text);
    UINT IsDlgButtonChecked(int nIDButton) const;
    // The control that Tab (or Shift+Tab) moves to from pWndCtl.
    CWnd* GetNextDlgTabItem(CWnd* pWndCtl, BOOL bPrevious = FALSE) const;
    // Dialog units to pixels, with the base units of the dialog's font.
    void MapDialogRect(CRect* lpRect) const;
    // A message box; with no caption the application's name stands in the title.
    int MessageBox(const CString& text, const char* caption = nullptr, UINT nType = MB_OK);
    CMenu* GetMenu() const { return m_menuBar.get(); }
    // The system menu. Where the platform has none, a menu of the menu bar stands in for it,
    // shown once it has an item, and its items arrive as system commands.
    CMenu* GetSystemMenu(BOOL bRevert);

    const DialogTemplate* Template() const { return m_template; }
    // The controls in template order.
    const std::vector<std::unique_ptr<CWnd>>& TemplateItems() const { return m_items; }
    // This dialog or one of its controls; nullptr for any other window.
    CWnd* FromHandle(HWND hWnd) const;

    // The message map: routes one message of this dialog to its handler and tells whether it
    // was handled there. FALSE means the platform's own processing is to follow: the message
    // was not in the map, or its handler asked for Default().
    BOOL Dispatch(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result);

protected:
    virtual void DoDataExchange(CDataExchange* pDX);
    virtual BOOL OnInitDialog();
    // A command of a control or a menu; returns TRUE when some handler took it.
    virtual BOOL OnCommand(UINT nID);
    virtual BOOL OnNotify(NMHDR* pNMHDR, LRESULT* pResult);
    virtual void OnSysCommand(UINT nID, LPARAM lParam);
    virtual void OnPaint();
    virtual HCURSOR OnQueryDragIcon();
    virtual void OnContextMenu(CWnd* pWnd, CPoint point);
    // The client area's new size, after the user resized the window.
    virtual void OnSize(UINT nType, int cx, int cy);
    virtual void OnOK();
    virtual void OnCancel();
    // The platform's own processing of the message being handled, once the handler returns.
    void Default() { m_bDefault = true; }

private:
    friend struct DialogState;
    // The backend's part of Create: the window, its controls, the menu bar, then OnInitDialog.
    BOOL CreateFromTemplate();

    const DialogTemplate* m_template = nullptr;
    CWnd* m_pParentWnd = nullptr;
    std::vector<std::unique_ptr<CWnd>> m_items;
    std::unique_ptr<CMenu> m_menuBar;
    std::unique_ptr<CMenu> m_systemMenu;
    std::unique_ptr<DialogState, DialogStateDeleter> m_state;
    BOOL m_bContinueModal = FALSE;
    int m_nModalResult = -1;
    bool m_bDefault = false;
};

// Painting inside OnPaint.
struct PaintState;
struct PaintStateDeleter {
    void operator()(PaintState* state) const;
};
class CPaintDC {
public:
    explicit CPaintDC(CWnd* pWnd);
    ~CPaintDC();
    CPaintDC(const CPaintDC&) = delete;
    CPaintDC& operator=(const CPaintDC&) = delete;
    HDC GetSafeHdc() const { return m_hDC; }
    BOOL DrawIcon(int x, int y, HICON hIcon);

private:
    HDC m_hDC = nullptr;
    std::unique_ptr<PaintState, PaintStateDeleter> m_state;
};

// Where an icon of cx by cy is drawn centred in a client area: integer division that truncates
// toward zero, so a client area narrower than the icon gives a negative place.
CPoint CenteredIconOrigin(const CRect& client, int cx, int cy);
// An icon of the program's resources, or nullptr.
HICON AfxLoadIcon(UINT nID);
