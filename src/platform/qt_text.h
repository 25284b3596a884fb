#pragma once
// Text between the core (std::string, single-byte text in the local encoding)
// and Qt widgets.
#include <QString>
#include <string>

inline QString QStr(const std::string& s) { return QString::fromLocal8Bit(s.data(), static_cast<qsizetype>(s.size())); }
inline std::string StdStr(const QString& s) { return s.toLocal8Bit().toStdString(); }
