// A read-only box for a result: it shows the beginning of its value whatever its width, asks
// its layout for room for the whole value (or for a typical one while it is empty), and
// gives the whole value in its tooltip. Screen readers read the value as the box's value and
// what it means as its description.
#pragma once

#include <QLineEdit>
#include <QString>

namespace polychain {

class ValueBox final : public QLineEdit {
  Q_OBJECT

 public:
  // `typical` sets the room asked for before there is a value; `meaning` says what the value
  // is, in the tooltip and the description.
  ValueBox(const char* name, const QString& accessibleName, const QString& typical,
           const QString& meaning = {});

  QSize minimumSizeHint() const override;
  QSize sizeHint() const override;

 private:
  void valueChanged();

  QString m_typical;
  QString m_meaning;
};

}  // namespace polychain
