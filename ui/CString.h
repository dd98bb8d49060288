#pragma once
// The dialog's text type: 8-bit characters in the local code page, as the core takes them. Each
// backend converts at its own boundary (Qt's text, or nothing at all for the Windows "A" calls).

#include <string>

using CString = std::string;
