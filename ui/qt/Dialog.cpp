// The Qt backend's dialogs: widgets made from the template, events passed to the message map.
#include "DialogWindow.h"

#include "Ellipsis.h"
#include "ListView.h"
#include "Menu.h"
#include "Resource.h"
#include "Shell.h"

#include <QApplication>
#include <QCheckBox>
#include <QContextMenuEvent>
#include <QFontDatabase>
#include <QGroupBox>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStyle>

#include <cmath>
#include <string_view>

// ---------------------------------------------------------------------------------------------
// Dialog units

BaseUnits DialogBaseUnits(const QFont& font) {
    const QFontMetrics metrics(font);
    const int width = metrics.horizontalAdvance(
        QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
    return {(width / 26 + 1) / 2, metrics.height()};
}

int MulDiv(int a, int b, int c) {
    if (c == 0)
        return -1;
    return static_cast<int>(std::llround(static_cast<double>(a) * b / c));
}

QRect MapDialogUnits(const QRect& dialogUnits, BaseUnits units) {
    return QRect(MulDiv(dialogUnits.x(), units.cx, 4), MulDiv(dialogUnits.y(), units.cy, 8),
                 MulDiv(dialogUnits.width(), units.cx, 4),
                 MulDiv(dialogUnits.height(), units.cy, 8));
}

namespace {

// The template's font, or the desktop's sans-serif at the template's size where it is missing.
QFont DialogFont(const char* family, int pointSize) {
    const QString name = QString::fromLatin1(family);
    QFont font = QFontDatabase::hasFamily(name)
                     ? QFont(name)
                     : QFontDatabase::systemFont(QFontDatabase::GeneralFont);
    font.setPointSize(pointSize);
    return font;
}

// The height of a menu bar row in a font. The template's own pop-up has an empty title, which
// would make the bar as thin as an empty item, so a titled probe measures it.
int MenuBarHeight(const QFont& font) {
    QMenuBar probe;
    probe.setNativeMenuBar(false);
    probe.setFont(font);
    probe.addMenu(QStringLiteral("Menu"));
    return probe.sizeHint().height();
}

} // namespace

// ---------------------------------------------------------------------------------------------
// StaticLabel

StaticLabel::StaticLabel(DWORD style, QWidget* parent) : QLabel(parent), m_style(style) {
    setTextFormat(Qt::PlainText);
    Qt::Alignment horizontal = Qt::AlignLeft;
    if ((style & SS_TYPEMASK) == SS_RIGHT)
        horizontal = Qt::AlignRight;
    // A static draws its text from the top unless it asks to be centred vertically.
    const Qt::Alignment vertical = (style & SS_CENTERIMAGE) ? Qt::AlignVCenter : Qt::AlignTop;
    setAlignment(horizontal | vertical);
}

void StaticLabel::SetText(const QString& text) {
    setText(text);
    UpdateToolTip();
}

QString StaticLabel::ShownText() const {
    if ((m_style & SS_PATHELLIPSIS) == 0)
        return text();
    const QFontMetrics metrics = fontMetrics();
    return ToQString(ShortenKeepingEnd(
        FromQString(text()), contentsRect().width(), [&metrics](std::string_view part) {
            return metrics.horizontalAdvance(
                QString::fromLocal8Bit(part.data(), static_cast<qsizetype>(part.size())));
        }));
}

void StaticLabel::UpdateToolTip() {
    if ((m_style & SS_PATHELLIPSIS) == 0)
        return;
    const QString shown = ShownText();
    setToolTip(shown == text() ? QString() : text());
}

void StaticLabel::mouseReleaseEvent(QMouseEvent* event) {
    QLabel::mouseReleaseEvent(event);
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()) &&
        m_onClick)
        m_onClick();
}

void StaticLabel::paintEvent(QPaintEvent* event) {
    if ((m_style & SS_PATHELLIPSIS) == 0) {
        QLabel::paintEvent(event);
        return;
    }
    QPainter painter(this);
    style()->drawItemText(&painter, contentsRect(), static_cast<int>(alignment()), palette(),
                          isEnabled(), ShownText(), foregroundRole());
}

void StaticLabel::resizeEvent(QResizeEvent* event) {
    QLabel::resizeEvent(event);
    UpdateToolTip();
}

// ---------------------------------------------------------------------------------------------
// DialogWindow

DialogWindow::DialogWindow(CDialog& dialog, QWidget* parent) : QDialog(parent), m_dialog(dialog) {}

DialogWindow* DialogWindowOf(HWND hWnd) {
    return dynamic_cast<DialogWindow*>(WidgetOf(hWnd));
}

LRESULT DialogWindow::Send(UINT message, WPARAM wParam, LPARAM lParam) {
    LRESULT result = 0;
    if (m_dialog.Dispatch(message, wParam, lParam, result))
        return result;
    if (message == WM_SYSCOMMAND) {
        switch (wParam & 0xFFF0) {
        case SC_CLOSE:
            close();
            break;
        case SC_MINIMIZE:
            showMinimized();
            break;
        case SC_RESTORE:
            showNormal();
            break;
        default:
            break;
        }
    }
    return result;
}

void DialogWindow::accept() {
    Send(WM_COMMAND, MAKEWPARAM(IDOK, 0), 0);
}

void DialogWindow::reject() {
    // Escape and the close box arrive here, as the Exit button's IDCANCEL does.
    Send(WM_COMMAND, MAKEWPARAM(IDCANCEL, 0), 0);
}

void DialogWindow::paintEvent(QPaintEvent* /*event*/) {
    QPainter p(this);
    painter = &p;
    Send(WM_PAINT, 0, 0);
    painter = nullptr;
}

void DialogWindow::resizeEvent(QResizeEvent* event) {
    QDialog::resizeEvent(event);
    if (!client)
        return;
    // The client area follows the window, below the menu bar; the dialog places its controls.
    const int menuHeight = client->y();
    client->setGeometry(0, menuHeight, width(), height() - menuHeight);
    Send(WM_SIZE, 0,
         MAKELPARAM(static_cast<unsigned>(client->width()),
                    static_cast<unsigned>(client->height())));
}

void DialogWindow::contextMenuEvent(QContextMenuEvent* event) {
    // The control under the point, as the window that asked; a part of one stands for it.
    HWND from = HandleOf(this);
    for (QWidget* w = childAt(event->pos()); w && w != this; w = w->parentWidget()) {
        if (m_dialog.FromHandle(HandleOf(w))) {
            from = HandleOf(w);
            break;
        }
    }
    const QPoint at = event->globalPos();
    Send(WM_CONTEXTMENU, reinterpret_cast<WPARAM>(from),
         MAKELPARAM(static_cast<unsigned>(at.x()), static_cast<unsigned>(at.y())));
    event->accept();
}

// ---------------------------------------------------------------------------------------------
// CDialog: the backend's part

namespace {

QWidget* CreateItem(DialogWindow& window, const DialogItemTemplate& item) {
    const std::string_view windowClass = item.windowClass;
    const QString text = item.text ? QString::fromLatin1(item.text) : QString();
    const auto command = [&window, id = static_cast<unsigned>(item.id)] {
        window.Send(WM_COMMAND, MAKEWPARAM(id, 0), 0);
    };
    QWidget* parent = window.client;
    QWidget* widget = nullptr;
    QRect place = MapDialogUnits(QRect(item.x, item.y, item.cx, item.cy), window.units);

    if (windowClass == "button") {
        switch (item.style & BS_TYPEMASK) {
        case BS_AUTOCHECKBOX: {
            auto* box = new QCheckBox(text, parent);
            // The box has toggled by the time its command arrives.
            QObject::connect(box, &QCheckBox::clicked, &window, command);
            widget = box;
            break;
        }
        case BS_GROUPBOX: {
            auto* group = new QGroupBox(text, parent);
            // A group box only frames; clicks go to what lies under it.
            group->setAttribute(Qt::WA_TransparentForMouseEvents);
            widget = group;
            break;
        }
        default: {
            auto* button = new QPushButton(text, parent);
            button->setAutoDefault(true);
            // Enter stands for OK: only an OK marked as the default takes it. Elsewhere Enter
            // clicks the button that has the focus and nothing else.
            if ((item.style & BS_TYPEMASK) == BS_DEFPUSHBUTTON && item.id == IDOK)
                button->setDefault(true);
            QObject::connect(button, &QPushButton::clicked, &window, command);
            widget = button;
            break;
        }
        }
    } else if (windowClass == "edit" && (item.style & ES_MULTILINE)) {
        auto* edit = new QPlainTextEdit(parent);
        edit->setReadOnly((item.style & ES_READONLY) != 0);
        // A multi-line edit that scrolls sideways keeps its lines whole.
        edit->setLineWrapMode((item.style & WS_HSCROLL) ? QPlainTextEdit::NoWrap
                                                        : QPlainTextEdit::WidgetWidth);
        if (edit->isReadOnly())
            edit->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
        widget = edit;
    } else if (windowClass == "edit") {
        auto* edit = new QLineEdit(parent);
        edit->setFrame((item.style & WS_BORDER) != 0);
        widget = edit;
    } else if (windowClass == "static" && (item.style & SS_TYPEMASK) == SS_ICON) {
        // An icon static takes the size of its icon.
        auto* icon = new QLabel(parent);
        const int cx = CWnd::GetSystemMetrics(SM_CXICON);
        const int cy = CWnd::GetSystemMetrics(SM_CYICON);
        if (HICON hIcon = AfxLoadIcon(static_cast<UINT>(item.imageId)))
            icon->setPixmap(hIcon->icon.pixmap(cx, cy));
        place.setSize(QSize(cx, cy));
        widget = icon;
    } else if (windowClass == "static") {
        auto* label = new StaticLabel(item.style, parent);
        label->SetText(text);
        if (item.style & SS_NOTIFY)
            label->SetClickHandler(command);
        widget = label;
    } else if (windowClass == "SysListView32") {
        auto* list = new ListView(parent);
        list->setFrameShape((item.style & WS_BORDER) ? QFrame::StyledPanel : QFrame::NoFrame);
        list->SetClickHandler([&window, list, id = static_cast<UINT_PTR>(item.id)] {
            NMHDR header{HandleOf(list), id, NM_CLICK};
            window.Send(WM_NOTIFY, id, reinterpret_cast<LPARAM>(&header));
        });
        widget = list;
    } else {
        widget = new QWidget(parent);
    }

    widget->setGeometry(place);
    widget->setProperty("controlId", item.id);
    if ((item.style & WS_VISIBLE) == 0)
        widget->hide();
    if (item.style & WS_DISABLED)
        widget->setEnabled(false);
    if ((item.style & WS_TABSTOP) == 0 && (widget->focusPolicy() & Qt::TabFocus))
        widget->setFocusPolicy(Qt::ClickFocus);
    // The first control of a template lies on top; each later one goes beneath those before.
    widget->lower();
    return widget;
}

} // namespace

void DialogStateDeleter::operator()(DialogState* state) const {
    delete state;
}

CDialog::~CDialog() {
    DestroyWindow();
}

BOOL CDialog::CreateFromTemplate() {
    if (m_hWnd)
        return TRUE;
    if (!m_template)
        return FALSE;
    const DialogTemplate& t = *m_template;
    QWidget* parent = m_pParentWnd ? WidgetOf(m_pParentWnd->m_hWnd) : nullptr;
    auto* window = new DialogWindow(*this, parent);
    m_state.reset(new DialogState);
    m_state->window = window;
    m_hWnd = HandleOf(window);

    window->setWindowTitle(QString::fromLatin1(t.caption));
    const QFont font = DialogFont(t.fontName, t.pointSize);
    window->setFont(font);
    window->units = DialogBaseUnits(font);

    // An application window gets a taskbar button of its own; there is no minimise or
    // maximise box, and a modal frame does not resize unless it has a sizing border.
    Qt::WindowFlags flags = (t.exStyle & WS_EX_APPWINDOW) ? Qt::Window : Qt::Dialog;
    flags |= Qt::CustomizeWindowHint;
    if ((t.style & WS_CAPTION) == WS_CAPTION)
        flags |= Qt::WindowTitleHint;
    if (t.style & WS_SYSMENU)
        flags |= Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint;
    window->setWindowFlags(flags);

    int menuHeight = 0;
    QMenuBar* bar = nullptr;
    if (const MenuTemplate* menu = t.menuId ? FindMenuTemplate(t.menuId) : nullptr) {
        bar = new QMenuBar(window);
        bar->setNativeMenuBar(false);
        m_menuBar = std::make_unique<CMenu>(MenuHandleOf(bar));
        for (const PopupTemplate& popup : menu->popups) {
            CMenu sub(MenuHandleOf(bar->addMenu(QString::fromLatin1(popup.title))));
            for (const MenuItemTemplate& item : popup.items)
                sub.AppendMenu(item.text ? MF_STRING : MF_SEPARATOR, item.id, item.text);
        }
        // A chosen item is a command; one of the stand-in system menu a system command.
        QObject::connect(bar, &QMenuBar::triggered, window, [window](QAction* action) {
            const UINT message =
                action->parent() == window->systemMenu ? WM_SYSCOMMAND : WM_COMMAND;
            window->Send(message, action->data().toUInt(), 0);
        });
        menuHeight = MenuBarHeight(font);
    }

    const QRect client = MapDialogUnits(QRect(0, 0, t.cx, t.cy), window->units);
    window->client = new QWidget(window);
    window->client->setGeometry(0, menuHeight, client.width(), client.height());
    if (bar)
        bar->setGeometry(0, 0, client.width(), menuHeight);
    if (t.style & WS_THICKFRAME) {
        window->resize(client.width(), menuHeight + client.height());
        window->setMinimumSize(client.width() / 2, menuHeight + client.height() / 2);
    } else {
        window->setFixedSize(client.width(), menuHeight + client.height());
    }

    for (const DialogItemTemplate& item : t.items) {
        auto control = std::make_unique<CWnd>();
        control->m_hWnd = HandleOf(CreateItem(*window, item));
        m_items.push_back(std::move(control));
    }
    window->Send(WM_INITDIALOG, 0, 0);
    if (t.style & WS_VISIBLE)
        window->show();
    return TRUE;
}

void CDialog::DestroyWindow() {
    if (!m_state)
        return;
    m_items.clear();
    m_systemMenu.reset();
    m_menuBar.reset();
    delete m_state->window;
    m_state.reset();
    m_hWnd = nullptr;
}

void CDialog::EndDialog(int nResult) {
    m_nModalResult = nResult;
    m_bContinueModal = FALSE;
    if (m_state)
        m_state->window->done(nResult);
}

CMenu* CDialog::GetSystemMenu(BOOL /*bRevert*/) {
    if (m_systemMenu)
        return m_systemMenu.get();
    if (!m_menuBar || !m_state)
        return nullptr;
    auto* bar = static_cast<QMenuBar*>(MenuWidgetOf(m_menuBar->m_hMenu));
    QMenu* standIn = bar->addMenu(QApplication::translate("CDialog", "&Help"));
    standIn->menuAction()->setVisible(false);
    m_state->window->systemMenu = standIn;
    m_systemMenu = std::make_unique<CMenu>(MenuHandleOf(standIn));
    return m_systemMenu.get();
}

void CDialog::MapDialogRect(CRect* lpRect) const {
    if (!m_state)
        return;
    const BaseUnits units = m_state->window->units;
    *lpRect = CRect(MulDiv(lpRect->left, units.cx, 4), MulDiv(lpRect->top, units.cy, 8),
                    MulDiv(lpRect->right, units.cx, 4), MulDiv(lpRect->bottom, units.cy, 8));
}

CWnd* CDialog::GetNextDlgTabItem(CWnd* pWndCtl, BOOL bPrevious) const {
    if (m_items.empty())
        return nullptr;
    QWidget* start = pWndCtl ? WidgetOf(pWndCtl->m_hWnd) : WidgetOf(m_items.front()->m_hWnd);
    // Qt's focus chain is the order of creation, which is the template's.
    QWidget* w = start;
    for (std::size_t steps = 0; steps < 4 * m_items.size() + 16; ++steps) {
        w = bPrevious ? w->previousInFocusChain() : w->nextInFocusChain();
        if (w == start)
            break;
        CWnd* item = FromHandle(HandleOf(w));
        if (item && w->isVisible() && w->isEnabled() && (w->focusPolicy() & Qt::TabFocus))
            return item;
    }
    return pWndCtl;
}

// ---------------------------------------------------------------------------------------------
// Painting and icons

struct PaintState {};

void PaintStateDeleter::operator()(PaintState* state) const {
    delete state;
}

CPaintDC::CPaintDC(CWnd* pWnd) {
    if (DialogWindow* window = pWnd ? DialogWindowOf(pWnd->m_hWnd) : nullptr)
        m_hDC = DeviceOf(window->painter);
}

CPaintDC::~CPaintDC() = default;

BOOL CPaintDC::DrawIcon(int x, int y, HICON hIcon) {
    QPainter* painter = PainterOf(m_hDC);
    if (!painter || !hIcon)
        return FALSE;
    const int cx = CWnd::GetSystemMetrics(SM_CXICON);
    const int cy = CWnd::GetSystemMetrics(SM_CYICON);
    painter->drawPixmap(x, y, hIcon->icon.pixmap(cx, cy));
    return TRUE;
}

static void InitIconResources() {
    Q_INIT_RESOURCE(veldran);
}

HICON AfxLoadIcon(UINT nID) {
    if (nID != IDR_MAINFRAME)
        return nullptr;
    static HICON__ mainIcon = [] {
        InitIconResources();
        HICON__ icon;
        for (const int size : {16, 32, 48})
            icon.icon.addFile(QStringLiteral(":/veldran/icons/veldran-%1.png").arg(size),
                              QSize(size, size));
        return icon;
    }();
    return &mainIcon;
}
