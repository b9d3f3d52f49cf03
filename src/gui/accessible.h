// What a screen reader is told about the parts of the window that Qt adds or that only
// report something: every element has a name, and a report's text is its name. And the
// scrolling areas that only hold pages, which the keyboard passes through.
#pragma once

#include <QString>

class QAbstractScrollArea;
class QLabel;
class QScrollArea;

namespace polychain {

// Names a scrolling area `name`, and its viewport, scroll bars and their frames after it.
void nameScrollArea(QAbstractScrollArea* area, const QString& name);

// Takes `area`, which scrolls a page of controls, out of the Tab order: Tab goes straight to
// the controls, and the area scrolls to show whichever of them takes the focus, by any way.
void passFocusThrough(QScrollArea* area);

// A label that reports something (the seed used, a status, a fitted exponent): a screen
// reader reads its text as its name and `what` as its description, or `what` as its name
// while it says nothing, and then it is hidden.
QLabel* reportLabel(const char* objectName, const QString& what);
void setReport(QLabel* label, const QString& text);

}  // namespace polychain
