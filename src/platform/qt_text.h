#pragma once
// Text between the core (std::string, single-byte text in the local encoding)
// and Qt widgets.
#include <QString>
#include <string>

inline QString QStr(const std::string& s) { return QString::fromLocal8Bit(s.data(), static_cast<qsizetype>(s.size())); }
inline std::string StdStr(const QString& s) { return s.toLocal8Bit().toStdString(); }

// A line as a list row shows it: at most kShownLineChars characters, then an
// ellipsis. A row of megabytes would otherwise be measured and laid out glyph by
// glyph whenever its list is laid out; the line itself is kept whole.
constexpr size_t kShownLineChars = 1000;
inline QString ShownLine(const std::string& line) {
    if (line.size() <= kShownLineChars) return QStr(line);
    return QStr(line.substr(0, kShownLineChars)) + QChar(0x2026);
}
