#pragma once
// What stands behind the layer's handles in the Qt backend: a window handle is its widget, a menu
// handle its QMenu or QMenuBar, a device context the painter of the paint being handled; icons
// and cursors are objects of their own.

#include "WinDefs.h"

#include <QCursor>
#include <QIcon>

#include <optional>

class QMenu;
class QPainter;
class QWidget;

struct HICON__ {
    QIcon icon;
    std::optional<Qt::CursorShape> cursor; // set for the standard cursors
};

inline QWidget* WidgetOf(HWND hWnd) {
    return reinterpret_cast<QWidget*>(hWnd);
}
inline HWND HandleOf(QWidget* widget) {
    return reinterpret_cast<HWND>(widget);
}
inline QWidget* MenuWidgetOf(HMENU hMenu) {
    return reinterpret_cast<QWidget*>(hMenu);
}
inline HMENU MenuHandleOf(QWidget* menu) {
    return reinterpret_cast<HMENU>(menu);
}
inline QPainter* PainterOf(HDC hDC) {
    return reinterpret_cast<QPainter*>(hDC);
}
inline HDC DeviceOf(QPainter* painter) {
    return reinterpret_cast<HDC>(painter);
}
// Qt's text of the local code page's, and back.
QString ToQString(const std::string& text);
std::string FromQString(const QString& text);
