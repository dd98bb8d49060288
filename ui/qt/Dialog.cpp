#include "Dialog.h"

#include "DataExchange.h"
#include "ListCtrl.h"
#include "Resource.h"
#include "Shell.h"
#include "WinApp.h"
#include "WinSystemMenu.h"

#include <QCheckBox>
#include <QContextMenuEvent>
#include <QCoreApplication>
#include <QFontDatabase>
#include <QGroupBox>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
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

QRect MapDialogRect(const QRect& dialogUnits, BaseUnits units) {
    // The edges are mapped, not the sizes, so controls that meet in dialog units meet in pixels.
    const int left = MulDiv(dialogUnits.x(), units.cx, 4);
    const int top = MulDiv(dialogUnits.y(), units.cy, 8);
    const int right = MulDiv(dialogUnits.x() + dialogUnits.width(), units.cx, 4);
    const int bottom = MulDiv(dialogUnits.y() + dialogUnits.height(), units.cy, 8);
    return QRect(left, top, right - left, bottom - top);
}

QFont DialogFont(const char* family, int pointSize) {
    const QString name = QString::fromLatin1(family);
    QFont font = QFontDatabase::hasFamily(name)
                     ? QFont(name)
                     : QFontDatabase::systemFont(QFontDatabase::GeneralFont);
    font.setPointSize(pointSize);
    return font;
}

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
    const QRect area = contentsRect();
    const QString shown = fontMetrics().elidedText(text(), Qt::ElideMiddle, area.width());
    style()->drawItemText(&painter, area, static_cast<int>(alignment()), palette(), isEnabled(),
                          shown, foregroundRole());
}

// ---------------------------------------------------------------------------------------------
// CDialog

namespace {

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

CDialog::CDialog(UINT nIDTemplate, QWidget* pParentWnd) : QDialog(pParentWnd) {
    m_template = FindDialogTemplate(static_cast<int>(nIDTemplate));
}

CDialog::~CDialog() = default;

int CDialog::DoModal() {
    if (!CreateFromTemplate())
        return -1;
    OnInitDialog();
    return AfxGetShell().RunModalLoop(*this);
}

BOOL CDialog::Create() {
    if (!CreateFromTemplate())
        return FALSE;
    OnInitDialog();
    show();
    return TRUE;
}

bool CDialog::CreateFromTemplate() {
    if (m_created)
        return true;
    if (!m_template)
        return false;
    const DialogTemplate& t = *m_template;
    setWindowTitle(QString::fromLatin1(t.caption));
    const QFont font = DialogFont(t.fontName, t.pointSize);
    setFont(font);
    m_units = DialogBaseUnits(font);

    // An application window gets a taskbar button of its own; there is no minimise or
    // maximise box, and a modal frame does not resize.
    Qt::WindowFlags flags = (t.exStyle & WS_EX_APPWINDOW) ? Qt::Window : Qt::Dialog;
    flags |= Qt::CustomizeWindowHint;
    if ((t.style & WS_CAPTION) == WS_CAPTION)
        flags |= Qt::WindowTitleHint;
    if (t.style & WS_SYSMENU)
        flags |= Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint;
    setWindowFlags(flags);

    int menuHeight = 0;
    QMenuBar* bar = nullptr;
    if (const MenuTemplate* menu = t.menuId ? FindMenuTemplate(t.menuId) : nullptr) {
        bar = new QMenuBar(this);
        bar->setNativeMenuBar(false);
        m_menuBar = std::make_unique<CMenu>(bar, *menu, [this](UINT id) { SendCommand(id); });
        menuHeight = MenuBarHeight(font);
    }

    const QRect client = MapDialogRect(QRect(0, 0, t.cx, t.cy), m_units);
    m_client = new QWidget(this);
    m_client->setGeometry(0, menuHeight, client.width(), client.height());
    if (bar)
        bar->setGeometry(0, 0, client.width(), menuHeight);
    setFixedSize(client.width(), menuHeight + client.height());

    for (const DialogItemTemplate& item : t.items) {
        QWidget* widget = CreateItem(item);
        m_items.push_back(widget);
        if (item.id != IDC_STATIC)
            m_byId.emplace(item.id, widget);
    }
    m_created = true;
    return true;
}

QWidget* CDialog::CreateItem(const DialogItemTemplate& item) {
    const std::string_view windowClass = item.windowClass;
    const QString text = item.text ? QString::fromLatin1(item.text) : QString();
    const UINT id = static_cast<UINT>(item.id);
    QWidget* widget = nullptr;
    QRect place = MapDialogRect(QRect(item.x, item.y, item.cx, item.cy), m_units);

    if (windowClass == "button") {
        switch (item.style & BS_TYPEMASK) {
        case BS_AUTOCHECKBOX: {
            auto* box = new QCheckBox(text, m_client);
            // The box has toggled by the time its command arrives.
            connect(box, &QCheckBox::clicked, this, [this, id] { SendCommand(id); });
            widget = box;
            break;
        }
        case BS_GROUPBOX: {
            auto* group = new QGroupBox(text, m_client);
            // A group box only frames; clicks go to what lies under it.
            group->setAttribute(Qt::WA_TransparentForMouseEvents);
            widget = group;
            break;
        }
        default: {
            auto* button = new QPushButton(text, m_client);
            button->setAutoDefault(true);
            // Enter stands for OK: only an OK marked as the default takes it. Elsewhere Enter
            // clicks the button that has the focus and nothing else.
            if ((item.style & BS_TYPEMASK) == BS_DEFPUSHBUTTON && item.id == IDOK)
                button->setDefault(true);
            connect(button, &QPushButton::clicked, this, [this, id] { SendCommand(id); });
            widget = button;
            break;
        }
        }
    } else if (windowClass == "edit") {
        auto* edit = new QLineEdit(m_client);
        edit->setFrame((item.style & WS_BORDER) != 0);
        widget = edit;
    } else if (windowClass == "static" && (item.style & SS_TYPEMASK) == SS_ICON) {
        // An icon static takes the size of its icon.
        auto* icon = new QLabel(m_client);
        const int cx = GetSystemMetrics(SM_CXICON);
        const int cy = GetSystemMetrics(SM_CYICON);
        icon->setPixmap(AfxLoadIcon(static_cast<UINT>(item.imageId)).pixmap(cx, cy));
        place.setSize(QSize(cx, cy));
        widget = icon;
    } else if (windowClass == "static") {
        auto* label = new StaticLabel(item.style, m_client);
        label->setText(text);
        if (item.style & SS_NOTIFY)
            label->SetClickHandler([this, id] { SendCommand(id); });
        widget = label;
    } else if (windowClass == "SysListView32") {
        auto* list = new ListView(m_client);
        list->setFrameShape((item.style & WS_BORDER) ? QFrame::StyledPanel : QFrame::NoFrame);
        list->SetClickHandler([this, id] { SendNotify(static_cast<int>(id), NM_CLICK); });
        widget = list;
    } else {
        widget = new QWidget(m_client);
    }

    widget->setGeometry(place);
    if (item.id != IDC_STATIC)
        widget->setObjectName(QString::number(item.id));
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

BOOL CDialog::OnInitDialog() {
    UpdateData(FALSE);
    return TRUE;
}

void CDialog::DoDataExchange(CDataExchange* /*pDX*/) {}

BOOL CDialog::UpdateData(BOOL bSaveAndValidate) {
    CDataExchange dx(this, bSaveAndValidate);
    DoDataExchange(&dx);
    return TRUE;
}

QWidget* CDialog::GetDlgItem(int nID) const {
    const auto it = m_byId.find(nID);
    return it == m_byId.end() ? nullptr : it->second;
}

int CDialog::MessageBox(const CString& text, const char* caption, UINT nType) {
    return AfxGetShell().MessageBox(this, text, caption ? CString(caption) : AfxGetAppName(),
                                    nType);
}

void CDialog::EndDialog(int nResult) {
    done(nResult);
}

CMenu* CDialog::GetSystemMenu(BOOL /*bRevert*/) {
    if (m_systemMenu)
        return m_systemMenu.get();
#ifdef Q_OS_WIN
    if (void* native = WinGetSystemMenu(reinterpret_cast<void*>(winId()))) {
        m_systemMenu = std::make_unique<CMenu>(native);
        return m_systemMenu.get();
    }
#endif
    if (!m_menuBar || !m_menuBar->Bar())
        return nullptr;
    QMenu* standIn = m_menuBar->Bar()->addMenu(QCoreApplication::translate("CDialog", "&Help"));
    standIn->menuAction()->setVisible(false);
    m_systemMenu = std::make_unique<CMenu>(standIn, [this](UINT id) { SendSysCommand(id, 0); });
    return m_systemMenu.get();
}

void CDialog::UpdateWindow() {
    // Deliver the pending repaint of this window now: what was invalidated is painted, and no
    // other event (input, timers) is handled meanwhile.
    QCoreApplication::sendPostedEvents(window(), QEvent::UpdateRequest);
}

void CDialog::SetIcon(const QIcon& icon, BOOL /*bBigIcon*/) {
    // Qt keeps one icon with all its sizes for both places.
    setWindowIcon(icon);
}

void CDialog::SendCommand(UINT nID) {
    OnCommand(nID);
}

void CDialog::SendNotify(int nIdCtrl, int nCode) {
    NMHDR header{GetDlgItem(nIdCtrl), static_cast<UINT>(nIdCtrl), nCode};
    LRESULT result = 0;
    OnNotify(&header, &result);
}

void CDialog::SendSysCommand(UINT nID, LPARAM lParam) {
    const UINT outer = m_sysCommand;
    m_sysCommand = nID;
    m_passOn = false;
    OnSysCommand(nID, lParam);
    m_sysCommand = outer;
}

BOOL CDialog::OnCommand(UINT nID) {
    switch (nID) {
    case IDOK:
        OnOK();
        return TRUE;
    case IDCANCEL:
        OnCancel();
        return TRUE;
    default:
        return FALSE;
    }
}

BOOL CDialog::OnNotify(NMHDR* /*pNMHDR*/, LRESULT* /*pResult*/) {
    return FALSE;
}

void CDialog::OnSysCommand(UINT /*nID*/, LPARAM /*lParam*/) {
    Default();
}

void CDialog::Default() {
#ifdef Q_OS_WIN
    m_passOn = true; // the window procedure does the rest
#else
    switch (m_sysCommand & 0xFFF0) {
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
#endif
}

void CDialog::OnPaint() {}

void CDialog::OnContextMenu(QWidget* /*pWnd*/, QPoint /*point*/) {}

void CDialog::OnOK() {
    UpdateData(TRUE);
    EndDialog(IDOK);
}

void CDialog::OnCancel() {
    EndDialog(IDCANCEL);
}

void CDialog::accept() {
    SendCommand(IDOK);
}

void CDialog::reject() {
    // Escape and the close box arrive here, as the Exit button's IDCANCEL does.
    SendCommand(IDCANCEL);
}

void CDialog::paintEvent(QPaintEvent* /*event*/) {
    QPainter painter(this);
    m_painter = &painter;
    OnPaint();
    m_painter = nullptr;
}

void CDialog::contextMenuEvent(QContextMenuEvent* event) {
    OnContextMenu(childAt(event->pos()), event->globalPos());
    event->accept();
}

#ifdef Q_OS_WIN
bool CDialog::nativeEvent(const QByteArray& eventType, void* message, qintptr* result) {
    unsigned id = 0;
    std::intptr_t lParam = 0;
    if (eventType == "windows_generic_MSG" && WinIsSysCommand(message, id, lParam)) {
        SendSysCommand(id, lParam);
        if (!m_passOn) {
            *result = 0;
            return true;
        }
    }
    return QDialog::nativeEvent(eventType, message, result);
}
#endif

// ---------------------------------------------------------------------------------------------
// Painting helpers and icons

void CPaintDC::DrawIcon(int x, int y, const QIcon& icon, int cx, int cy) {
    if (m_painter)
        m_painter->drawPixmap(x, y, icon.pixmap(cx, cy));
}

void CPaintDC::FillBackground(const QRect& rect, const QWidget& window) {
    if (m_painter)
        m_painter->fillRect(rect, window.palette().window());
}

int GetSystemMetrics(int nIndex) {
    switch (nIndex) {
    case SM_CXICON:
    case SM_CYICON:
        return 32;
    default:
        return 0;
    }
}

QPoint CenteredIconOrigin(const QRect& client, int cx, int cy) {
    return QPoint((client.width() - cx + 1) / 2, (client.height() - cy + 1) / 2);
}

static void InitIconResources() {
    Q_INIT_RESOURCE(veldran);
}

QIcon AfxLoadIcon(UINT nID) {
    static const bool initialised = (InitIconResources(), true);
    (void)initialised;
    QIcon icon;
    if (nID == IDR_MAINFRAME) {
        for (const int size : {16, 32, 48})
            icon.addFile(QStringLiteral(":/veldran/icons/veldran-%1.png").arg(size),
                         QSize(size, size));
    }
    return icon;
}
