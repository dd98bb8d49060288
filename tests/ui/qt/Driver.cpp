// The test driver on the Qt backend: Qt Test's mouse and keys on the real widgets.
#include "TestDriver.h"

#include <Shell.h>
#include <qt/DialogWindow.h>
#include <qt/ListView.h>

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QContextMenuEvent>
#include <QGroupBox>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPaintEvent>
#include <QPushButton>
#include <QTest>
#include <QTimer>

namespace driver {

namespace {

QWidget* W(CWnd* wnd) {
    return WidgetOf(wnd->m_hWnd);
}

} // namespace

void Click(CWnd* control) {
    QWidget* w = W(control);
    QTest::mouseClick(w, Qt::LeftButton, Qt::NoModifier, w->rect().center());
}

void ClickListRow(CListCtrl& list, int row, bool withControl) {
    auto* view = dynamic_cast<ListView*>(W(&list));
    QWidget* viewport = view->viewport();
    const QPoint at = row < 0 ? QPoint(10, viewport->height() - 3)
                              : view->visualRect(view->Model().index(row, 0)).center();
    QTest::mouseClick(viewport, Qt::LeftButton, withControl ? Qt::ControlModifier : Qt::NoModifier,
                      at);
}

void RequestContextMenu(CWnd* control) {
    QWidget* w = W(control);
    if (auto* view = dynamic_cast<ListView*>(w))
        w = view->viewport();
    const QPoint at = w->rect().center();
    QContextMenuEvent event(QContextMenuEvent::Mouse, at, w->mapToGlobal(at));
    QCoreApplication::sendEvent(w, &event);
}

void ChooseMenuItem(CDialog& dialog, CMenu& popup, int position) {
    auto* menu = qobject_cast<QMenu*>(MenuWidgetOf(popup.m_hMenu));
    QAction* action = menu->actions().at(position);
    // What the menu bar reports when an item of one of its menus is chosen.
    auto* bar = DialogWindowOf(dialog.m_hWnd)->findChild<QMenuBar*>();
    emit bar->triggered(action);
}

void PressEscape(CDialog& dialog) {
    QTest::keyClick(W(&dialog), Qt::Key_Escape);
}

void PressEnter(CDialog& dialog) {
    QTest::keyClick(W(&dialog), Qt::Key_Return);
}

void PressCloseBox(CDialog& dialog) {
    W(&dialog)->close();
}

void MoveMouse(CDialog& dialog) {
    QWidget* window = W(&dialog);
    QMouseEvent move(QEvent::MouseMove, QPointF(5, 5), QPointF(5, 5), Qt::NoButton, Qt::NoButton,
                     Qt::NoModifier);
    QCoreApplication::sendEvent(window->windowHandle(), &move);
}

void ProcessMessages() {
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->isVisible())
            (void)QTest::qWaitForWindowExposed(w);
    QCoreApplication::processEvents();
}

void Later(std::function<void()> action) {
    QTimer::singleShot(0, std::move(action));
}

int RunRealModalLoop(CDialog& dialog) {
    return AfxGetPlatformShell().RunModalLoop(dialog);
}

Kind KindOf(CWnd* control) {
    QWidget* w = W(control);
    if (qobject_cast<QCheckBox*>(w))
        return Kind::CheckBox;
    if (qobject_cast<QPushButton*>(w))
        return Kind::PushButton;
    if (qobject_cast<QGroupBox*>(w))
        return Kind::GroupBox;
    if (qobject_cast<QLineEdit*>(w))
        return Kind::Edit;
    if (dynamic_cast<ListView*>(w))
        return Kind::List;
    if (dynamic_cast<StaticLabel*>(w))
        return Kind::Static;
    if (auto* label = qobject_cast<QLabel*>(w); label && !label->pixmap().isNull())
        return Kind::Icon;
    return Kind::Other;
}

bool IsRightAligned(CWnd* control) {
    auto* label = qobject_cast<QLabel*>(W(control));
    return label && (label->alignment() & Qt::AlignHorizontal_Mask) == Qt::AlignRight;
}

CWnd* ControlAt(CDialog& dialog, CPoint clientPoint) {
    QWidget* client = DialogWindowOf(dialog.m_hWnd)->client;
    for (QWidget* w = client->childAt(clientPoint.x, clientPoint.y); w && w != client;
         w = w->parentWidget())
        if (CWnd* item = dialog.FromHandle(HandleOf(w)))
            return item;
    return nullptr;
}

CString ToolTipOf(CDialog& /*dialog*/, CWnd* control) {
    return FromQString(W(control)->toolTip());
}

CString ShownTextOf(CWnd* control) {
    auto* label = dynamic_cast<StaticLabel*>(W(control));
    return label ? FromQString(label->ShownText()) : CString();
}

namespace {

class QtPaintCounter : public PaintCounter, public QObject {
public:
    explicit QtPaintCounter(QWidget* widget) { widget->installEventFilter(this); }

protected:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Paint) {
            ++paints;
            heights.push_back(static_cast<QPaintEvent*>(event)->region().boundingRect().height());
        }
        return false;
    }
};

} // namespace

std::unique_ptr<PaintCounter> CountPaints(CWnd* control) {
    QWidget* w = W(control);
    if (auto* view = dynamic_cast<ListView*>(w))
        w = view->viewport();
    return std::make_unique<QtPaintCounter>(w);
}

int RowHeight(CListCtrl& list) {
    return dynamic_cast<ListView*>(W(&list))->rowHeight(0);
}

} // namespace driver
