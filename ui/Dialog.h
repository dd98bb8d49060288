#pragma once
// A dialog built from a template of dialog units, the way the Windows dialog manager builds one:
// controls created in template order (which is the tab order), placed with the base units of
// the dialog's font, found by their ids; commands, notifications, system commands, painting and
// context-menu requests routed to overridable handlers.

#include "CString.h"
#include "DialogTemplate.h"
#include "Menu.h"
#include "WinDefs.h"

#include <QDialog>
#include <QIcon>
#include <QLabel>
#include <QPainter>

#include <functional>
#include <map>
#include <memory>
#include <vector>

class CDataExchange;

using LRESULT = std::intptr_t;

// The header of a control notification.
struct NMHDR {
    QWidget* hwndFrom;
    UINT idFrom;
    int code;
};

// The horizontal and vertical base units of a font: a dialog unit is a quarter of the first
// and an eighth of the second.
struct BaseUnits {
    int cx;
    int cy;
};

// The base units of a font, computed as Windows does: the average width of the 52 Latin
// letters, rounded, and the font's height.
BaseUnits DialogBaseUnits(const QFont& font);
// a * b / c, rounded half away from zero.
int MulDiv(int a, int b, int c);
// A rectangle in dialog units as pixels.
QRect MapDialogRect(const QRect& dialogUnits, BaseUnits units);
// The template's font, or the desktop's sans-serif at the template's size where it is missing.
QFont DialogFont(const char* family, int pointSize);

// A static control: plain text (never rich text), aligned as its style says, optionally
// reporting clicks and shortening a long text in the middle.
class StaticLabel : public QLabel {
public:
    StaticLabel(DWORD style, QWidget* parent);
    void SetClickHandler(std::function<void()> handler) { m_onClick = std::move(handler); }

protected:
    void mouseReleaseEvent(QMouseEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    DWORD m_style;
    std::function<void()> m_onClick;
};

class CDialog : public QDialog {
public:
    explicit CDialog(UINT nIDTemplate, QWidget* pParentWnd = nullptr);
    ~CDialog() override;

    // Creates the window from its template, initialises it and runs it until it closes.
    virtual int DoModal();
    // Creates and initialises the window and shows it, with no modal loop: for tests and
    // benchmarks that drive the commands directly.
    BOOL Create();

    BOOL UpdateData(BOOL bSaveAndValidate = TRUE);
    QWidget* GetDlgItem(int nID) const;
    // A message box; with no caption the application's name stands in the title.
    int MessageBox(const CString& text, const char* caption = nullptr, UINT nType = MB_OK);
    void EndDialog(int nResult);
    CMenu* GetMenu() const { return m_menuBar.get(); }
    // The system menu. Where the platform has none, a menu of the menu bar stands in for it,
    // shown once it has an item, and its items arrive as system commands.
    CMenu* GetSystemMenu(BOOL bRevert);
    // Repaints at once what is waiting to be repainted, and nothing else.
    void UpdateWindow();
    BOOL IsIconic() const { return isMinimized() ? TRUE : FALSE; }
    void SetIcon(const QIcon& icon, BOOL bBigIcon);

    // What arrives from controls, menus and the window, as their messages would.
    void SendCommand(UINT nID);
    void SendNotify(int nIdCtrl, int nCode);
    void SendSysCommand(UINT nID, LPARAM lParam);

    const DialogTemplate* Template() const { return m_template; }
    BaseUnits Units() const { return m_units; }
    // The area that the template's places refer to: below the menu bar.
    QWidget* ClientArea() const { return m_client; }
    // The controls in template order.
    const std::vector<QWidget*>& TemplateItems() const { return m_items; }

protected:
    virtual void DoDataExchange(CDataExchange* pDX);
    virtual BOOL OnInitDialog();
    // A command of a control or a menu; returns TRUE when some handler took it.
    virtual BOOL OnCommand(UINT nID);
    virtual BOOL OnNotify(NMHDR* pNMHDR, LRESULT* pResult);
    virtual void OnSysCommand(UINT nID, LPARAM lParam);
    virtual void OnPaint();
    virtual void OnContextMenu(QWidget* pWnd, QPoint point);
    virtual void OnOK();
    virtual void OnCancel();
    // The default processing of the system command being handled.
    void Default();
    // The painter of the paint being handled (for CPaintDC).
    QPainter* CurrentPainter() const { return m_painter; }
    friend class CPaintDC;

    void accept() override;
    void reject() override;
    void paintEvent(QPaintEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
#ifdef Q_OS_WIN
    bool nativeEvent(const QByteArray& eventType, void* message, qintptr* result) override;
#endif

private:
    bool CreateFromTemplate();
    QWidget* CreateItem(const DialogItemTemplate& item);

    const DialogTemplate* m_template = nullptr;
    BaseUnits m_units{};
    QWidget* m_client = nullptr;
    std::unique_ptr<CMenu> m_menuBar;
    std::unique_ptr<CMenu> m_systemMenu;
    std::vector<QWidget*> m_items;
    std::map<int, QWidget*> m_byId;
    bool m_created = false;
    UINT m_sysCommand = 0; // the system command being handled
    bool m_passOn = false; // Default() was asked for it
    QPainter* m_painter = nullptr;
};

// Painting inside OnPaint.
class CPaintDC {
public:
    explicit CPaintDC(CDialog* pWnd) : m_painter(pWnd->CurrentPainter()) {}
    void DrawIcon(int x, int y, const QIcon& icon, int cx, int cy);
    void FillBackground(const QRect& rect, const QWidget& window);

private:
    QPainter* m_painter;
};

// The size of an icon, in pixels (SM_CXICON, SM_CYICON).
int GetSystemMetrics(int nIndex);
// Where an icon of cx by cy is drawn centred in a client area: integer division that truncates
// toward zero, so a client area narrower than the icon gives a negative place.
QPoint CenteredIconOrigin(const QRect& client, int cx, int cy);
// The program's icon resource.
QIcon AfxLoadIcon(UINT nID);
