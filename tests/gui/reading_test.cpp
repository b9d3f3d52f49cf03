// The window as a reader sees it at its smallest size and as a screen reader sees it: every
// value shown from its first character, every element named, every report read.
#include <QAccessible>
#include <QComboBox>
#include <QLabel>
#include <QProgressBar>
#include <QStyle>
#include <QTabWidget>
#include <QtTest>
#include <functional>

#include "gui/detailspage.h"
#include "gui/plottabs.h"
#include "gui/scalingpage.h"
#include "gui/simulationworker.h"
#include "guitest.h"

namespace polychain::test {

namespace {

const char* const kValueBoxes[] = {"eR",
                                   "TR",
                                   "Rsqred",
                                   "TRsqred",
                                   "pers",
                                   "Rgtxt",
                                   "detailsChains",
                                   "detailsRmsEnd",
                                   "detailsMeanSquaredEnd",
                                   "detailsMeanEnd",
                                   "detailsRmsRg",
                                   "detailsMeanSquaredRg",
                                   "detailsRatio",
                                   "detailsTrials",
                                   "detailsDiscarded",
                                   "detailsBackups"};

// Where an element sits, for a failure message: the roles and names from the window down.
QString pathOf(const QStringList& path) { return path.join(" > "); }

}  // namespace

class ReadingTest : public QObject {
  Q_OBJECT

 private slots:
  void everyValueShowsItsBeginning();
  void everyElementIsNamedAndEveryReportIsRead();
};

void ReadingTest::everyValueShowsItsBeginning() {
  Harness h;
  // Self-avoiding walks fill every Details box, the trial counts too.
  h.setUp("SAWOPT", "300", "10", "17");
  QVERIFY(h.runAndWait());
  h.form->plotTabs()->setCurrentWidget(h.form->plotTabs()->detailsPage());
  for (const QSize size : {QSize(800, 600), QSize(1280, 900)}) {
    h.form->resize(size);
    QCoreApplication::processEvents();
    for (const char* name : kValueBoxes) {
      QLineEdit* box = h.field(name);
      const QString text = box->text();
      QVERIFY2(!text.isEmpty(), name);
      box->grab();  // laid out and painted, as on screen
      // The cursor stands before the first character, and that place is in sight.
      const QRect start = box->inputMethodQuery(Qt::ImCursorRectangle).toRect();
      QVERIFY2(box->cursorPosition() == 0 && start.center().x() > 0, name);
      // And the whole value fits inside the frame.
      const int frame = box->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, box);
      QVERIFY2(
          box->fontMetrics().horizontalAdvance(text) + 4 <= box->width() - 2 * frame,
          qPrintable(
              QString("%1 at %2x%3: %4").arg(name).arg(size.width()).arg(size.height()).arg(text)));
      QVERIFY2(box->toolTip().contains(text), name);
      QCOMPARE(QAccessible::queryAccessibleInterface(box)->text(QAccessible::Value), text);
    }
  }
}

void ReadingTest::everyElementIsNamedAndEveryReportIsRead() {
  Harness h;
  QAccessible::setActive(true);
  h.setUp("SAWOPT", "60", "4", "7", true);
  QVERIFY(h.runAndWait());
  // The Scaling tab with its results.
  h.child<QRadioButton>("RLOPT")->setChecked(true);
  h.field("sweepSteps")->setText("20,40");
  h.field("sweepIterations")->setText("3");
  ScalingPage* scaling = h.form->plotTabs()->scalingPage();
  QSignalSpy swept(scaling, &ScalingPage::sweepEnded);
  scaling->runSweep();
  QVERIFY(caught(swept));
  h.form->plotTabs()->setCurrentWidget(h.form->plotTabs()->widget(4));
  // A run going on, one of its chains reported trapped.
  QSignalSpy ended(h.form.get(), &Form1::runEnded);
  h.setUp("RLOPT", "100", "2000000000", "1");
  h.clickRun();
  auto* worker = h.form->findChild<SimulationWorker*>("runWorker");
  emit worker->correlationProgressed(50.0f);
  emit worker->chainTrapped(3, 20000000);
  QVERIFY(h.child<QWidget>("trappedNotice")->isVisible());

  QStringList unnamed;
  QStringList unread;
  QStringList readLabels;
  std::function<void(QAccessibleInterface*, QStringList)> walk;
  walk = [&](QAccessibleInterface* element, QStringList path) {
    const QString name = element->text(QAccessible::Name);
    QObject* object = element->object();
    path << QString("%1 '%2' (%3)")
                .arg(element->role())
                .arg(name)
                .arg(object != nullptr ? object->objectName() : QString());
    if (name.trimmed().isEmpty()) unnamed << pathOf(path);
    if (auto* label = qobject_cast<QLabel*>(object); label != nullptr && !label->text().isEmpty()) {
      const QString shown = QString(label->text()).remove('&');  // a caption's mnemonic marker
      if (name.contains(shown) || element->text(QAccessible::Description).contains(shown)) {
        readLabels << label->objectName();
      } else {
        unread << pathOf(path);
      }
    }
    for (int i = 0; i < element->childCount(); ++i) walk(element->child(i), path);
  };
  walk(QAccessible::queryAccessibleInterface(h.form.get()), {});
  QVERIFY2(unnamed.isEmpty(), qPrintable("unnamed:\n" + unnamed.join("\n")));
  QVERIFY2(unread.isEmpty(), qPrintable("text not read:\n" + unread.join("\n")));
  for (const char* report :
       {"statusMessage", "seedUsed", "trappedText", "sweepStatus", "sweepExponent"}) {
    QVERIFY2(readLabels.contains(report), report);
  }
  QVERIFY(h.child<QLabel>("sweepExponent")->text().startsWith("ν = "));

  // The progress bars by what they measure, with their values.
  const std::pair<const char*, const char*> bars[] = {{"ProgressBar1", "Chains done"},
                                                      {"ProgressBar2", "Current chain"},
                                                      {"ProgressBar3", "Pair correlation"}};
  for (const auto& [object, name] : bars) {
    QAccessibleInterface* bar =
        QAccessible::queryAccessibleInterface(h.child<QProgressBar>(object));
    QCOMPARE(bar->text(QAccessible::Name), QString(name));
    QVERIFY(bar->valueInterface() != nullptr);
  }
  // Every field to type in or choose from has its caption as buddy, and a name.
  const QList<QLabel*> labels = h.form->findChildren<QLabel*>();
  QList<QWidget*> fields;
  for (QLineEdit* field : h.form->findChildren<QLineEdit*>()) {
    if (!field->isReadOnly()) fields << field;
  }
  for (QComboBox* field : h.form->findChildren<QComboBox*>()) fields << field;
  QVERIFY(!h.form->findChildren<QComboBox*>().isEmpty());
  for (QWidget* field : fields) {
    const bool captioned = std::any_of(labels.begin(), labels.end(),
                                       [field](QLabel* label) { return label->buddy() == field; });
    QVERIFY2(captioned, qPrintable(field->objectName()));
    QVERIFY2(!field->accessibleName().isEmpty(), qPrintable(field->objectName()));
  }

  QTest::mouseClick(h.child<QPushButton>("CancelRun"), Qt::LeftButton);
  QVERIFY(caught(ended));
}

POLYCHAIN_GUI_TEST(ReadingTest)

}  // namespace polychain::test

#include "reading_test.moc"
