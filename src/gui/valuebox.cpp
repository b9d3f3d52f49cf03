#include "gui/valuebox.h"

#include <QStyle>
#include <QStyleOptionFrame>
#include <algorithm>

namespace polychain {

ValueBox::ValueBox(const char* name, const QString& accessibleName, const QString& typical,
                   const QString& meaning)
    : m_typical(typical), m_meaning(meaning) {
  setObjectName(name);
  setAccessibleName(accessibleName);
  setAccessibleDescription(meaning);
  setReadOnly(true);
  setFocusPolicy(Qt::StrongFocus);  // read-only, but reached with Tab to select and copy
  connect(this, &QLineEdit::textChanged, this, &ValueBox::valueChanged);
  valueChanged();
}

void ValueBox::valueChanged() {
  // A new text leaves the cursor at its end, which would scroll a long value's front away.
  setCursorPosition(0);
  const QString value = text();
  setToolTip(m_meaning.isEmpty() ? value : value.isEmpty() ? m_meaning : m_meaning + ": " + value);
  updateGeometry();
}

QSize ValueBox::minimumSizeHint() const {
  const QString shown = text().isEmpty() ? m_typical : text();
  const QMargins margins = textMargins();
  // The line edit's own margin of two pixels a side, and one for the cursor.
  const int width =
      fontMetrics().horizontalAdvance(shown) + 2 * 2 + 1 + margins.left() + margins.right();
  QStyleOptionFrame option;
  initStyleOption(&option);
  const QSize inner(width, QLineEdit::minimumSizeHint().height());
  const QSize outer = style()->sizeFromContents(QStyle::CT_LineEdit, &option, inner, this);
  return {outer.width(), QLineEdit::minimumSizeHint().height()};
}

QSize ValueBox::sizeHint() const {
  return {std::max(QLineEdit::sizeHint().width(), minimumSizeHint().width()),
          QLineEdit::sizeHint().height()};
}

}  // namespace polychain
