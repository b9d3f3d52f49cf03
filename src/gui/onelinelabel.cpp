#include "gui/onelinelabel.h"

#include <QPainter>
#include <QStyle>

#include "gui/accessible.h"

namespace polychain {

OneLineLabel::OneLineLabel(const char* objectName, const QString& what) {
  setObjectName(objectName);
  setTextFormat(Qt::PlainText);
  setWordWrap(false);
  setAccessibleDescription(what);
  // The width is the bar's to give; the text never asks for more.
  setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
  setReport(QString());
}

void OneLineLabel::setReport(const QString& text) {
  polychain::setReport(this, text);
  setToolTip(text);
}

QSize OneLineLabel::sizeHint() const {
  const QMargins m = contentsMargins();
  return {fontMetrics().horizontalAdvance(text()) + m.left() + m.right(),
          fontMetrics().height() + m.top() + m.bottom()};
}

QSize OneLineLabel::minimumSizeHint() const { return {0, sizeHint().height()}; }

void OneLineLabel::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  const QRect room = contentsRect();
  QString shown = text();
  shown.replace('\n', ' ');
  shown = fontMetrics().elidedText(shown, Qt::ElideRight, room.width());
  style()->drawItemText(&painter, room, static_cast<int>(alignment()), palette(), isEnabled(),
                        shown, foregroundRole());
}

}  // namespace polychain
