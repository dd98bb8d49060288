// The Qt backend's windows: a handle is the widget, and each operation does to the widget what
// Windows does to the window.
#include "Wnd.h"

#include "Button.h"
#include "DialogWindow.h"
#include "Handles.h"

#include <QAbstractButton>
#include <QCoreApplication>
#include <QEvent>
#include <QFontDatabase>
#include <QGroupBox>
#include <QGuiApplication>
#include <QLineEdit>
#include <QPainter>
#include <QPlainTextEdit>

QString ToQString(const std::string& text) {
    return QString::fromLocal8Bit(text.data(), static_cast<qsizetype>(text.size()));
}

std::string FromQString(const QString& text) {
    return text.toLocal8Bit().toStdString();
}

void CWnd::GetWindowText(CString& rString) const {
    QWidget* w = WidgetOf(m_hWnd);
    QString text;
    if (auto* edit = qobject_cast<QLineEdit*>(w))
        text = edit->text();
    else if (auto* multi = qobject_cast<QPlainTextEdit*>(w))
        text = multi->toPlainText();
    else if (auto* label = qobject_cast<QLabel*>(w))
        text = label->text();
    else if (auto* button = qobject_cast<QAbstractButton*>(w))
        text = button->text();
    else if (auto* group = qobject_cast<QGroupBox*>(w))
        text = group->title();
    else if (w && w->isWindow())
        text = w->windowTitle();
    rString = FromQString(text);
}

void CWnd::SetWindowText(const CString& text) {
    QWidget* w = WidgetOf(m_hWnd);
    const QString qtext = ToQString(text);
    if (auto* edit = qobject_cast<QLineEdit*>(w))
        edit->setText(qtext);
    else if (auto* multi = qobject_cast<QPlainTextEdit*>(w))
        multi->setPlainText(qtext);
    else if (auto* label = dynamic_cast<StaticLabel*>(w))
        label->SetText(qtext);
    else if (auto* plain = qobject_cast<QLabel*>(w))
        plain->setText(qtext);
    else if (auto* button = qobject_cast<QAbstractButton*>(w))
        button->setText(qtext);
    else if (auto* group = qobject_cast<QGroupBox*>(w))
        group->setTitle(qtext);
    else if (w && w->isWindow())
        w->setWindowTitle(qtext);
}

BOOL CWnd::IsWindowVisible() const {
    QWidget* w = WidgetOf(m_hWnd);
    return w && w->isVisible() ? TRUE : FALSE;
}

BOOL CWnd::IsWindowEnabled() const {
    QWidget* w = WidgetOf(m_hWnd);
    return w && w->isEnabled() ? TRUE : FALSE;
}

int CWnd::GetDlgCtrlID() const {
    QWidget* w = WidgetOf(m_hWnd);
    return w ? w->property("controlId").toInt() : 0;
}

void CWnd::GetClientRect(CRect* lpRect) const {
    QWidget* w = WidgetOf(m_hWnd);
    if (DialogWindow* window = DialogWindowOf(m_hWnd))
        w = window->client;
    *lpRect = w ? CRect(0, 0, w->width(), w->height()) : CRect();
}

void CWnd::GetWindowRect(CRect* lpRect) const {
    QWidget* w = WidgetOf(m_hWnd);
    if (!w) {
        *lpRect = CRect();
        return;
    }
    const QPoint at = w->mapToGlobal(QPoint(0, 0));
    *lpRect = CRect(at.x(), at.y(), at.x() + w->width(), at.y() + w->height());
}

void CWnd::ScreenToClient(CRect* lpRect) const {
    QWidget* w = WidgetOf(m_hWnd);
    if (DialogWindow* window = DialogWindowOf(m_hWnd))
        w = window->client;
    if (!w)
        return;
    const QPoint origin = w->mapToGlobal(QPoint(0, 0));
    *lpRect = CRect(lpRect->left - origin.x(), lpRect->top - origin.y(), lpRect->right - origin.x(),
                    lpRect->bottom - origin.y());
}

void CWnd::MoveWindow(int x, int y, int nWidth, int nHeight) {
    if (DialogWindow* window = DialogWindowOf(m_hWnd)) {
        window->resize(nWidth, nHeight + window->client->y());
        return;
    }
    if (QWidget* w = WidgetOf(m_hWnd))
        w->setGeometry(x, y, nWidth, nHeight);
}

void CWnd::SetFixedPitchFont() {
    QWidget* w = WidgetOf(m_hWnd);
    if (!w)
        return;
    QFont fixed = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    fixed.setPointSize(w->font().pointSize());
    w->setFont(fixed);
}

BOOL CWnd::IsIconic() const {
    QWidget* w = WidgetOf(m_hWnd);
    return w && w->isMinimized() ? TRUE : FALSE;
}

void CWnd::UpdateWindow() {
    // Deliver the pending repaint of this window now: what was invalidated is painted, and no
    // other event (input, timers) is handled meanwhile.
    if (QWidget* w = WidgetOf(m_hWnd))
        QCoreApplication::sendPostedEvents(w->window(), QEvent::UpdateRequest);
}

void CWnd::SetRedraw(BOOL bRedraw) {
    if (QWidget* w = WidgetOf(m_hWnd))
        w->setUpdatesEnabled(bRedraw != FALSE);
}

HICON CWnd::SetIcon(HICON hIcon, BOOL bBigIcon) {
    DialogWindow* window = DialogWindowOf(m_hWnd);
    if (!window)
        return nullptr;
    HICON& slot = bBigIcon ? window->bigIcon : window->smallIcon;
    const HICON previous = slot;
    slot = hIcon;
    // Qt keeps one icon with all its sizes for both places.
    window->setWindowIcon(hIcon ? hIcon->icon : QIcon());
    return previous;
}

HICON CWnd::GetIcon(BOOL bBigIcon) const {
    DialogWindow* window = DialogWindowOf(m_hWnd);
    if (!window)
        return nullptr;
    return bBigIcon ? window->bigIcon : window->smallIcon;
}

LRESULT CWnd::SendMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    DialogWindow* window = DialogWindowOf(m_hWnd);
    if (!window)
        return 0;
    switch (message) {
    case WM_ICONERASEBKGND:
        if (QPainter* painter = PainterOf(reinterpret_cast<HDC>(wParam)))
            painter->fillRect(window->rect(), window->palette().window());
        return 1;
    case WM_CLOSE:
        window->close();
        return 0;
    default:
        return window->Send(message, wParam, lParam);
    }
}

int CWnd::GetSystemMetrics(int nIndex) {
    switch (nIndex) {
    case SM_CXICON:
    case SM_CYICON:
        return 32;
    default:
        return 0;
    }
}

// ---------------------------------------------------------------------------------------------
// Cursors

namespace {

HICON__ g_arrow{{}, Qt::ArrowCursor};
HICON__ g_wait{{}, Qt::WaitCursor};
HICON__ g_upArrow{{}, Qt::UpArrowCursor};

// Holds the override cursor of the last SetCursor and drops it at the next mouse move.
class TransientCursor : public QObject {
public:
    HCURSOR Set(HCURSOR cursor) {
        const HCURSOR previous = Current();
        if (m_cursor) {
            QGuiApplication::changeOverrideCursor(QCursor(*cursor->cursor));
        } else {
            QGuiApplication::setOverrideCursor(QCursor(*cursor->cursor));
            if (QCoreApplication* app = QCoreApplication::instance())
                app->installEventFilter(this);
        }
        m_cursor = cursor;
        return previous;
    }

    HCURSOR Current() const { return m_cursor ? m_cursor : &g_arrow; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        // Mouse moves reach the window objects whether or not a widget tracks the mouse.
        if (m_cursor && (event->type() == QEvent::MouseMove || event->type() == QEvent::HoverMove))
            Drop();
        return QObject::eventFilter(watched, event);
    }

private:
    void Drop() {
        m_cursor = nullptr;
        QGuiApplication::restoreOverrideCursor();
        if (QCoreApplication* app = QCoreApplication::instance())
            app->removeEventFilter(this);
    }

    HCURSOR m_cursor = nullptr;
};

TransientCursor& Transient() {
    static TransientCursor* cursor = new TransientCursor; // lives as long as the application
    return *cursor;
}

} // namespace

HCURSOR CWnd::LoadCursor(std::nullptr_t, int nIdCursor) {
    switch (nIdCursor) {
    case IDC_ARROW:
        return &g_arrow;
    case IDC_WAIT:
        return &g_wait;
    case IDC_UPARROW:
        return &g_upArrow;
    default:
        return nullptr;
    }
}

HCURSOR CWnd::SetCursor(HCURSOR hCursor) {
    if (!hCursor || !hCursor->cursor)
        return Transient().Current();
    return Transient().Set(hCursor);
}

HCURSOR CWnd::GetCursor() {
    return Transient().Current();
}

// ---------------------------------------------------------------------------------------------
// CButton

int CButton::GetCheck() const {
    auto* button = qobject_cast<QAbstractButton*>(WidgetOf(m_hWnd));
    return button && button->isCheckable() && button->isChecked() ? BST_CHECKED : BST_UNCHECKED;
}

void CButton::SetCheck(int nCheck) {
    auto* button = qobject_cast<QAbstractButton*>(WidgetOf(m_hWnd));
    if (button && button->isCheckable())
        button->setChecked(nCheck == BST_CHECKED);
}
