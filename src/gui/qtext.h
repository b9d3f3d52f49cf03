// Text across the line between the Qt-free core (UTF-8 std::string) and the widgets (QString).
#pragma once

#include <QString>
#include <string>
#include <string_view>

namespace polychain {

inline QString qs(std::string_view text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

inline std::string utf8(const QString& text) { return text.toUtf8().toStdString(); }

}  // namespace polychain
