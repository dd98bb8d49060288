#pragma once
// The dialog's text type: 8-bit characters in the local code page, as the core takes them.
// Conversion to and from Qt's text happens at the data exchange and the shell boundary only.

#include <QString>

#include <string>

using CString = std::string;

inline QString ToQString(const CString& text) {
    return QString::fromLocal8Bit(text.data(), static_cast<qsizetype>(text.size()));
}

inline CString FromQString(const QString& text) {
    return text.toLocal8Bit().toStdString();
}
