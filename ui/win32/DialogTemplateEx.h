#pragma once
// A dialog template of the window layer as the extended dialog template (DLGTEMPLATEEX) that the
// Windows dialog manager reads, built in memory from the same data the Qt backend uses.

#include "Win32.h"

#include "DialogTemplate.h"

#include <vector>

// The template's words, ready for CreateDialogIndirectParam. It has no menu: the backend
// attaches the menu bar itself, so the template's menu data stays the one source.
std::vector<WORD> BuildDialogTemplateEx(const DialogTemplate& dialog);
