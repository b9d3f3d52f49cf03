#include "gui/viewframe.h"

#include <QEvent>
#include <QKeyEvent>
#include <QPainter>
#include <QVBoxLayout>
#include <QWindow>

namespace polychain {

namespace {
constexpr int kBorder = 2;
constexpr float kTurnStep = 5.0f;
constexpr float kZoomStep = 1.1f;
}  // namespace

ViewFrame::ViewFrame(QWindow* view, QWidget* container, QWidget* parent)
    : QWidget(parent), m_view(view) {
  setFocusPolicy(Qt::StrongFocus);
  // Left to itself the native window would take the keyboard on a click or when the
  // container gets the focus, and nothing would ever take it back.
  view->setFlag(Qt::WindowDoesNotAcceptFocus, true);
  container->setFocusPolicy(Qt::NoFocus);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(kBorder, kBorder, kBorder, kBorder);
  layout->addWidget(container);
  view->installEventFilter(this);
}

void ViewFrame::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  const QColor colour =
      hasFocus() ? palette().color(QPalette::Highlight) : palette().color(QPalette::Window);
  painter.fillRect(rect(), colour);
}

void ViewFrame::keyPressEvent(QKeyEvent* event) {
  const bool fine = (event->modifiers() & Qt::ShiftModifier) != 0;
  const float step = fine ? kTurnStep / 5.0f : kTurnStep;
  switch (event->key()) {
    case Qt::Key_Left:
      emit turnRequested(-step, 0.0f);
      break;
    case Qt::Key_Right:
      emit turnRequested(step, 0.0f);
      break;
    case Qt::Key_Up:
      emit turnRequested(0.0f, step);
      break;
    case Qt::Key_Down:
      emit turnRequested(0.0f, -step);
      break;
    case Qt::Key_Plus:
    case Qt::Key_Equal:
      emit zoomRequested(kZoomStep);
      break;
    case Qt::Key_Minus:
    case Qt::Key_Underscore:
      emit zoomRequested(1.0f / kZoomStep);
      break;
    default:
      QWidget::keyPressEvent(event);
      return;
  }
  event->accept();
}

void ViewFrame::focusInEvent(QFocusEvent* event) {
  QWidget::focusInEvent(event);
  update();
}

void ViewFrame::focusOutEvent(QFocusEvent* event) {
  QWidget::focusOutEvent(event);
  update();
}

bool ViewFrame::eventFilter(QObject* watched, QEvent* event) {
  if (watched == m_view && event->type() == QEvent::MouseButtonPress) {
    setFocus(Qt::MouseFocusReason);
  }
  return QWidget::eventFilter(watched, event);
}

}  // namespace polychain
