#pragma once
// Standard cursors set the Windows way: a cursor set by a command shows until the mouse next
// moves over one of the program's windows, then the normal cursor returns. So a command that
// ends early leaves no cursor stuck.

#include <QCursor>

#include <optional>

using HCURSOR = std::optional<Qt::CursorShape>;

// The standard cursor of an IDC_ id (IDC_ARROW, IDC_WAIT, IDC_UPARROW); none for other ids.
HCURSOR LoadCursor(std::nullptr_t, int nIdCursor);
// Shows the cursor until the mouse next moves; returns the cursor shown before.
HCURSOR SetCursor(HCURSOR hCursor);
// The cursor that SetCursor shows now; none once the mouse has moved.
HCURSOR GetTransientCursor();
