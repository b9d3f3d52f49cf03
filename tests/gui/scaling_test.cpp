// The Scaling tab: a sweep driven through its fields with the model chosen under
// Parameters, compared with the same sweep run directly; its refusals and its cancelling.
#include <QChart>
#include <QLabel>
#include <QLineSeries>
#include <QProgressBar>
#include <QScatterSeries>
#include <QTreeWidget>
#include <QtTest>

#include "gui/detailspage.h"
#include "gui/plottabs.h"
#include "gui/scalingpage.h"
#include "gui/simulationworker.h"
#include "guitest.h"
#include "polychain/sweep.h"

namespace polychain::test {

namespace {

ScalingPage* scalingOf(Harness& h) { return h.form->plotTabs()->scalingPage(); }

void setSweep(Harness& h, const QString& steps, const QString& iterations, const QString& seed) {
  h.field("sweepSteps")->setText(steps);
  h.field("sweepIterations")->setText(iterations);
  h.field("sweepSeed")->setText(seed);
}

// Clicks "Run Sweep" and waits for the sweep to end; false if it never ended.
bool sweepAndWait(Harness& h, int timeoutMs = 120000) {
  QSignalSpy ended(scalingOf(h), &ScalingPage::sweepEnded);
  QTest::mouseClick(h.child<QPushButton>("runSweep"), Qt::LeftButton);
  return caught(ended, timeoutMs);
}

}  // namespace

class ScalingTest : public QObject {
  Q_OBJECT

 private slots:
  void tinySweepShowsTheFittedExponentAndEachSeed();
  void badSweepInputNamesTheField();
  void sweepCanBeCancelledAndStopsWithTheWindow();
  void aListOfContactEnergiesDrawsOneCurveEach();
};

void ScalingTest::tinySweepShowsTheFittedExponentAndEachSeed() {
  Harness h;
  h.child<QRadioButton>("RLOPT")->setChecked(true);
  setSweep(h, "50, 100,200", "8", "42");
  QVERIFY(sweepAndWait(h));
  QVERIFY(h.messages.empty());

  SweepParams params;
  params.run.model = MeanderSettings{};
  params.run.iterations = 8;
  params.steps = {50, 100, 200};
  params.seed = 42;
  SweepObserver quiet;
  const SweepResult expected = polychain::runSweep(params, quiet);
  QVERIFY(expected.fit.has_value());

  const QString exponent = h.child<QLabel>("sweepExponent")->text();
  QVERIFY2(exponent.startsWith(
               "ν = " + estimateDisplay({expected.fit->exponent, expected.fit->exponentError})),
           qPrintable(exponent));
  QVERIFY(h.child<QLabel>("sweepStatus")->text().contains("seed 42"));

  auto* table = h.child<QTreeWidget>("sweepPoints");
  QCOMPARE(table->topLevelItemCount(), 3);
  for (int row = 0; row < 3; ++row) {
    const SweepPoint& point = expected.points[static_cast<std::size_t>(row)];
    const QTreeWidgetItem* item = table->topLevelItem(row);
    QCOMPARE(item->text(0), QString::number(point.steps));
    QCOMPARE(item->text(1), QString::number(sweepPointSeed(42, static_cast<std::size_t>(row))));
    QCOMPARE(item->text(2), estimateDisplay(point.stats.rmsEnd));
  }

  // The plot: three points with an error bar each, the fit and the two references.
  QChart* chart = scalingOf(h)->chart();
  int scatters = 0;
  int lines = 0;
  for (QAbstractSeries* series : chart->series()) {
    if (auto* points = qobject_cast<QScatterSeries*>(series)) {
      ++scatters;
      QCOMPARE(points->count(), 3);
    } else if (qobject_cast<QLineSeries*>(series)->count() > 0) {
      ++lines;
    }
  }
  QCOMPARE(scatters, 1);
  QCOMPARE(lines, 3 + 3);
  QVERIFY(h.child<QPushButton>("runSweep")->isEnabled());
  QVERIFY(!h.child<QPushButton>("cancelSweep")->isEnabled());
  QVERIFY(h.child<QProgressBar>("sweepProgress")->isHidden());
}

void ScalingTest::badSweepInputNamesTheField() {
  Harness h;
  QSignalSpy started(scalingOf(h), &ScalingPage::sweepStarted);
  struct Case {
    const char* option;  // nullptr: no model chosen
    const char* steps;
    const char* iterations;
    const char* seed;
    const char* setting;  // Avoid and Kuhn
    const char* named;
  };
  const Case cases[] = {
      {nullptr, "100,200", "5", "", "1", "Parameters"},
      {"RLOPT", "", "5", "", "1", "Steps (N) list"},
      {"RLOPT", "100,,200", "5", "", "1", "Steps (N) list"},
      {"RLOPT", "100,abc", "5", "", "1", "Steps (N) list"},
      {"RLOPT", "0,100", "5", "", "1", "Steps (N) list"},
      {"RLOPT", "100,100", "5", "", "1", "Steps (N) list"},
      {"RLOPT", "100,200", "", "", "1", "Iterations per N"},
      {"RLOPT", "100,200", "0", "", "1", "Iterations per N"},
      {"RLOPT", "100,200", "5", "-3", "1", "Sweep seed"},
      {"SAWOPT", "100,200", "5", "", "x", "Self-Avoidance"},
      {"ShortOpt", "100,200", "5", "", "0", "Kuhn Length"},
  };
  for (const Case& c : cases) {
    h.messages.clear();
    if (c.option != nullptr) h.child<QRadioButton>(c.option)->setChecked(true);
    h.field("Avoid")->setText(c.setting);
    h.field("Kuhn")->setText(c.setting);
    setSweep(h, c.steps, c.iterations, c.seed);
    QTest::mouseClick(h.child<QPushButton>("runSweep"), Qt::LeftButton);
    QCOMPARE(h.messages.size(), std::size_t{1});
    QCOMPARE(h.messages[0].title, QString("Scaling Sweep"));
    QCOMPARE(h.messages[0].icon, QMessageBox::Warning);
    QVERIFY2(h.messages[0].text.contains(c.named), qPrintable(h.messages[0].text));
  }
  QCOMPARE(started.count(), 0);
  QCOMPARE(h.child<QTreeWidget>("sweepPoints")->topLevelItemCount(), 0);
  QVERIFY(h.child<QPushButton>("runSweep")->isEnabled());
}

void ScalingTest::sweepCanBeCancelledAndStopsWithTheWindow() {
  Harness h;
  h.child<QRadioButton>("RLOPT")->setChecked(true);
  setSweep(h, "1000000,2000000", "100", "7");
  auto* worker = h.form->findChild<SimulationWorker*>("sweepWorker");
  auto* table = h.child<QTreeWidget>("sweepPoints");
  // The first N's row appears when its run starts.
  QSignalSpy begun(table->model(), &QAbstractItemModel::rowsInserted);
  QSignalSpy ended(scalingOf(h), &ScalingPage::sweepEnded);
  QTest::mouseClick(h.child<QPushButton>("runSweep"), Qt::LeftButton);
  QVERIFY(!h.child<QPushButton>("runSweep")->isEnabled());
  QVERIFY(caught(begun));
  QCOMPARE(table->topLevelItem(0)->text(0), QString("1000000"));
  QCOMPARE(table->topLevelItem(0)->text(1), QString::number(sweepPointSeed(7, 0)));
  QTest::mouseClick(h.child<QPushButton>("cancelSweep"), Qt::LeftButton);
  QVERIFY(caught(ended));
  QVERIFY2(h.child<QLabel>("sweepStatus")->text().contains("cancelled"),
           qPrintable(h.child<QLabel>("sweepStatus")->text()));
  QVERIFY(h.child<QLabel>("sweepExponent")->text().isEmpty());
  QVERIFY(h.child<QLabel>("sweepExponent")->isHidden());
  QVERIFY(h.child<QPushButton>("runSweep")->isEnabled());
  QVERIFY(h.messages.empty());
  QCOMPARE(table->topLevelItem(0)->text(2), QString("not finished"));

  // Closing the window stops a sweep at once.
  QSignalSpy again(table->model(), &QAbstractItemModel::rowsInserted);
  QTest::mouseClick(h.child<QPushButton>("runSweep"), Qt::LeftButton);
  QVERIFY(caught(again));
  QVERIFY(worker->running());
  h.form->close();
  QVERIFY(!worker->running());
  h.form.reset();
}

// The contact energy typed as a list under Parameters: one sweep a value from the seeds the
// command's sweep over a list takes, a row per value and N, one named curve a value.
void ScalingTest::aListOfContactEnergiesDrawsOneCurveEach() {
  Harness h;
  h.choose("pivot");
  QLineEdit* energy = nullptr;
  for (auto* box : h.form->findChildren<QLineEdit*>("contact_energy")) {
    if (box->property("modelKey") == "pivot") energy = box;
  }
  QVERIFY(energy != nullptr);
  setSweep(h, "20,40", "20", "5");
  energy->setText("-0.4,x");
  QTest::mouseClick(h.child<QPushButton>("runSweep"), Qt::LeftButton);
  QCOMPARE(h.messages.size(), std::size_t{1});
  QVERIFY2(h.messages[0].text.contains("Contact energy"), qPrintable(h.messages[0].text));
  h.messages.clear();

  energy->setText("-0.4,0,0.3");
  QVERIFY(sweepAndWait(h));
  QVERIFY(h.messages.empty());
  const std::vector<SweepResult>& series = scalingOf(h)->lastSeries();
  QCOMPARE(series.size(), std::size_t{3});
  SweepParams params;
  params.run.model = PivotSettings{.contactEnergy = 0.3};
  params.run.iterations = 20;
  params.steps = {20, 40};
  params.seed = sweepSeriesSeed(5, 2, 2);
  SweepObserver quiet;
  const SweepResult expected = polychain::runSweep(params, quiet);
  QCOMPARE(series[2].points.at(1).stats.meanSquaredEnd.value,
           expected.points.at(1).stats.meanSquaredEnd.value);

  auto* table = h.child<QTreeWidget>("sweepPoints");
  QCOMPARE(table->topLevelItemCount(), 6);
  QCOMPARE(table->topLevelItem(5)->text(0), QString("0.3"));
  QCOMPARE(table->topLevelItem(5)->text(1), QString("40"));

  QStringList names;
  QSet<QRgb> colours;
  for (QAbstractSeries* one : scalingOf(h)->chart()->series()) {
    auto* line = qobject_cast<QLineSeries*>(one);
    if (line == nullptr || qobject_cast<QScatterSeries*>(one) != nullptr) continue;
    if (line->count() == 2 && !line->name().isEmpty()) {  // a curve: one point an N
      names << line->name();
      colours.insert(line->pen().color().rgb());
    }
  }
  QCOMPARE(names, QStringList({"-0.4", "0", "0.3"}));
  QVERIFY(scalingOf(h)->chart()->title().contains("contact energy"));
  QCOMPARE(colours.size(), 3);
}

POLYCHAIN_GUI_TEST(ScalingTest)

}  // namespace polychain::test

#include "scaling_test.moc"
