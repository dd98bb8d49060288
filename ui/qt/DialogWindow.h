#pragma once
// The Qt side of a dialog: the window that carries its controls and passes its events to the
// dialog's message map as the messages Windows would send, and the static control that elides
// a long text.

#include "Dialog.h"
#include "Handles.h"

#include <QDialog>
#include <QLabel>

#include <functional>

class QMenu;

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
// A place in dialog units as pixels, mapped as the Windows dialog manager maps a control's:
// its origin and its size each by itself.
QRect MapDialogUnits(const QRect& dialogUnits, BaseUnits units);

class DialogWindow : public QDialog {
public:
    DialogWindow(CDialog& dialog, QWidget* parent);
    CDialog& Dialog() const { return m_dialog; }
    // A message to the dialog's message map, then the platform's own processing if the map
    // leaves it (closing, minimising and restoring for system commands).
    LRESULT Send(UINT message, WPARAM wParam, LPARAM lParam);

    QWidget* client = nullptr; // the area the template's places refer to: below the menu bar
    BaseUnits units{};
    QMenu* systemMenu = nullptr; // the menu of the bar that stands in for the system menu
    HICON bigIcon = nullptr;
    HICON smallIcon = nullptr;
    QPainter* painter = nullptr; // while a paint is handled

protected:
    void accept() override;
    void reject() override;
    void paintEvent(QPaintEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    CDialog& m_dialog;
};

struct DialogState {
    DialogWindow* window = nullptr;
};

// The dialog window of a handle, or nullptr when it is a control.
DialogWindow* DialogWindowOf(HWND hWnd);

// A static control: plain text (never rich text), aligned as its style says, optionally
// reporting clicks. With SS_PATHELLIPSIS a text too long for it is shortened keeping its end
// (ui/Ellipsis.h), and shows in full as its tooltip.
class StaticLabel : public QLabel {
public:
    StaticLabel(DWORD style, QWidget* parent);
    void SetClickHandler(std::function<void()> handler) { m_onClick = std::move(handler); }
    void SetText(const QString& text);
    // What the label shows of its text.
    QString ShownText() const;

protected:
    void mouseReleaseEvent(QMouseEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void UpdateToolTip();
    DWORD m_style;
    std::function<void()> m_onClick;
};
