// A focusable frame around a view drawn in a native window of its own (such as an OpenGL
// graph embedded with QWidget::createWindowContainer). The native window never takes the
// keyboard: the frame takes the focus in its place, so Tab, Shift+Tab and the window's
// shortcuts keep working; it shows the focus as a highlighted border and turns the arrow
// keys and +/- into turn and zoom requests. A click in the view gives the frame the focus.
#pragma once

#include <QWidget>

class QWindow;

namespace polychain {

class ViewFrame final : public QWidget {
  Q_OBJECT

 public:
  // `view` is the native window, `container` the widget that embeds it; the frame becomes
  // the container's parent.
  ViewFrame(QWindow* view, QWidget* container, QWidget* parent = nullptr);

 signals:
  // Turn by `yaw` degrees about the vertical and `pitch` degrees up (arrow keys: 5 degrees).
  void turnRequested(float yaw, float pitch);
  // Zoom by `factor`: above 1 nearer (+), below 1 farther (-).
  void zoomRequested(float factor);

 protected:
  void paintEvent(QPaintEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void focusInEvent(QFocusEvent* event) override;
  void focusOutEvent(QFocusEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  QWindow* m_view;
};

}  // namespace polychain
