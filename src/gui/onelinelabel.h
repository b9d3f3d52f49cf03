// A report that keeps to one line whatever it says: a text too long for the room is cut at
// its end with "…" on screen, while text(), the tooltip and what a screen reader reads keep
// it whole. Its height is one line of its font, so a message never makes its bar grow.
#pragma once

#include <QLabel>

namespace polychain {

class OneLineLabel final : public QLabel {
  Q_OBJECT

 public:
  // `what` says what the label reports, as in reportLabel().
  OneLineLabel(const char* objectName, const QString& what);

  // Shows `text` (hidden while empty), whole in the tooltip.
  void setReport(const QString& text);

  QSize sizeHint() const override;
  QSize minimumSizeHint() const override;

 protected:
  void paintEvent(QPaintEvent* event) override;
};

}  // namespace polychain
