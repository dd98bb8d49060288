#pragma once
// How a static shortens a text too long for it: the end stays visible, since it is what tells
// paths apart (a path's last part whole, the middle before it giving way; any other text keeps
// its end only). Each backend measures in its own font.

#include "CString.h"

#include <functional>
#include <string_view>

inline constexpr std::string_view kEllipsis = "...";

// The text as shown in `width` pixels; `measure` gives a text's width. The text itself when it
// fits. Cuts fall between characters of a UTF-8 text as well.
CString ShortenKeepingEnd(const CString& text, int width,
                          const std::function<int(std::string_view)>& measure);
