#include "gui/accessible.h"

#include <QAbstractScrollArea>
#include <QApplication>
#include <QLabel>
#include <QScrollArea>
#include <QScrollBar>

namespace polychain {

void nameScrollArea(QAbstractScrollArea* area, const QString& name) {
  area->setAccessibleName(name);
  area->viewport()->setAccessibleName(name);
  const std::pair<QScrollBar*, QString> bars[] = {
      {area->verticalScrollBar(), "Scroll " + name + " up and down"},
      {area->horizontalScrollBar(), "Scroll " + name + " sideways"}};
  for (const auto& [bar, barName] : bars) {
    bar->setAccessibleName(barName);
    // The frame Qt keeps each scroll bar in.
    if (QWidget* frame = bar->parentWidget(); frame != nullptr && frame != area) {
      frame->setAccessibleName(barName);
    }
  }
}

void passFocusThrough(QScrollArea* area) {
  area->setFocusPolicy(Qt::NoFocus);
  QObject::connect(qApp, &QApplication::focusChanged, area, [area](QWidget*, QWidget* now) {
    const QWidget* page = area->widget();
    if (now != nullptr && page != nullptr && page->isAncestorOf(now)) {
      area->ensureWidgetVisible(now, 0, 0);
    }
  });
}

QLabel* reportLabel(const char* objectName, const QString& what) {
  auto* label = new QLabel;
  label->setObjectName(objectName);
  label->setTextFormat(Qt::PlainText);
  label->setWordWrap(true);
  label->setAccessibleDescription(what);
  setReport(label, QString());
  return label;
}

void setReport(QLabel* label, const QString& text) {
  // Without a name of its own a label is read by its text, and a change is announced.
  label->setAccessibleName(text.isEmpty() ? label->accessibleDescription() : QString());
  label->setText(text);
  label->setVisible(!text.isEmpty());
}

}  // namespace polychain
