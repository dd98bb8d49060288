#pragma once
// Input as the user gives it, and what only the real controls can tell, on each backend
// (tests/ui/qt, tests/ui/win32). The tests themselves are written once, for both.

#include <Dialog.h>
#include <ListCtrl.h>

#include <functional>
#include <memory>
#include <vector>

namespace driver {

// A left click on a button, a check box or a notifying static.
void Click(CWnd* control);
// A left click on a row of the list, with Ctrl held or not; row -1 is below the last item.
void ClickListRow(CListCtrl& list, int row, bool withControl);
// A right click on a control, asking for the context menu.
void RequestContextMenu(CWnd* control);
// Chooses an item of a pop-up of the dialog's menu bar, as the menu bar delivers it.
void ChooseMenuItem(CDialog& dialog, CMenu& popup, int position);
void PressEscape(CDialog& dialog);
void PressEnter(CDialog& dialog);
void PressCloseBox(CDialog& dialog);
// A mouse move over the dialog: what ends a cursor that a command set.
void MoveMouse(CDialog& dialog);
// Handles what is waiting: posted messages, pending repaints.
void ProcessMessages();
// Runs `action` once the next modal loop runs.
void Later(std::function<void()> action);
// Runs a dialog's real modal loop, the backend's own Shell's.
int RunRealModalLoop(CDialog& dialog);

enum class Kind { PushButton, CheckBox, GroupBox, Edit, Static, Icon, List, Other };
Kind KindOf(CWnd* control);
bool IsRightAligned(CWnd* control);
// The control that a click at a point of the dialog's client area reaches.
CWnd* ControlAt(CDialog& dialog, CPoint clientPoint);
// The tooltip a static shows; empty for none.
CString ToolTipOf(CDialog& dialog, CWnd* control);
// What a static shows of its text.
CString ShownTextOf(CWnd* control);

// Counts the paints of a control and the height of each region painted.
class PaintCounter {
public:
    virtual ~PaintCounter() = default;
    int paints = 0;
    std::vector<int> heights;
};
std::unique_ptr<PaintCounter> CountPaints(CWnd* control);
// The height of a row of the list, in pixels.
int RowHeight(CListCtrl& list);

} // namespace driver
