// The plot tabs beside the controls: the chain, g(r), g(q) and Details after a run, and
// saving plots through the window's save hook.
#include <QAbstractAxis>
#include <QChart>
#include <QChartView>
#include <QFile>
#include <QGroupBox>
#include <QImage>
#include <QLabel>
#include <QLineSeries>
#include <QSplitter>
#include <QStatusBar>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QtTest>
#include <set>

#include "gui/chainpage.h"
#include "gui/correlationpage.h"
#include "gui/detailspage.h"
#include "gui/plottabs.h"
#include "guitest.h"
#include "polychain/commonstats.h"
#include "window/boxview.h"

namespace polychain::test {

namespace {

PlotTabs* tabsOf(Harness& h) { return h.form->plotTabs(); }

QByteArray fileBytes(const QString& path) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) return {};
  return file.readAll();
}

// Colours in a picture: a plot drawn as a blank rectangle has one or two.
std::size_t colourCount(const QImage& image) {
  std::set<QRgb> colours;
  for (int y = 0; y < image.height(); y += 3) {
    for (int x = 0; x < image.width(); x += 3) colours.insert(image.pixel(x, y));
  }
  return colours.size();
}

std::vector<QLineSeries*> lineSeriesOf(QChart* chart) {
  std::vector<QLineSeries*> lines;
  for (QAbstractSeries* series : chart->series()) {
    if (auto* line = qobject_cast<QLineSeries*>(series)) lines.push_back(line);
  }
  return lines;
}

}  // namespace

class PlotsTest : public QObject {
  Q_OBJECT

 private slots:
  void tabsSitBesideTheControls();
  void plotsFollowEachFinishedRun();
  void longChainIsThinnedForDrawingOnly();
  void gofqOpensOnTheLogAxisUntilTheUserChooses();
  void plotsAreSavedAsPngOrSvg();
  void detailsShowTheExtendedStatisticsOfTheLastRun();
  void aMeltShowsEveryChainOfItsBoxWrappedOrWhole();
};

void PlotsTest::tabsSitBesideTheControls() {
  Harness h;
  PlotTabs* tabs = tabsOf(h);
  QSplitter* area = h.form->workArea();
  QCOMPARE(area->count(), 2);
  QCOMPARE(area->widget(0)->objectName(), QString("controlPanel"));
  QVERIFY(area->widget(1)->isAncestorOf(tabs));
  QVERIFY(area->widget(0)->isAncestorOf(h.child<QPushButton>("SimRun")));
  QVERIFY(!tabs->isAncestorOf(h.child<QPushButton>("SimRun")));
  QStringList titles;
  for (int i = 0; i < tabs->count(); ++i) titles << tabs->tabText(i);
  QCOMPARE(titles, (QStringList{"Chain", "g(r)", "g(q)", "Details", "Scaling"}));
  // The controls keep their room: the tabs take what the window gains.
  h.form->resize(1100, 700);
  QCoreApplication::processEvents();
  const int controlsWidth = area->widget(0)->width();
  h.form->resize(h.form->width() + 300, h.form->height());
  QCoreApplication::processEvents();
  QCOMPARE(area->widget(0)->width(), controlsWidth);
}

void PlotsTest::plotsFollowEachFinishedRun() {
  Harness h;
  PlotTabs* tabs = tabsOf(h);
  QCOMPARE(tabs->chainPage()->drawnPointCount(), std::size_t{0});
  QCOMPARE(tabs->gofrPage()->drawnPointCount(), qsizetype{0});

  h.setUp("RLOPT", "50", "3", "8", true);
  QVERIFY(h.runAndWait());
  const std::string chainText = exportText(*h.form, "cdat");
  QCOMPARE(tabs->chainPage()->sites().size(), std::size_t{51});
  QCOMPARE(tabs->chainPage()->drawnPointCount(), std::size_t{51});
  QVERIFY(QByteArray::fromStdString(chainText).endsWith(
      QByteArray::number(tabs->chainPage()->sites().back().x) + "," +
      QByteArray::number(tabs->chainPage()->sites().back().y) + "," +
      QByteArray::number(tabs->chainPage()->sites().back().z) + "\n"));
  const auto gofrLines =
      static_cast<qsizetype>(QByteArray::fromStdString(exportText(*h.form, "gor")).count('\n'));
  const auto gofqLines =
      static_cast<qsizetype>(QByteArray::fromStdString(exportText(*h.form, "goq")).count('\n'));
  QCOMPARE(tabs->gofrPage()->drawnPointCount(), gofrLines);
  QCOMPARE(tabs->gofqPage()->drawnPointCount(), gofqLines);
  QVERIFY(h.child<QLabel>("gofrInfo")->text().contains("N = 50"));

  // A run without g(r) replaces the chain and leaves the curves of the run that made them.
  h.setUp("RLOPT", "30", "2", "9", false);
  QVERIFY(h.runAndWait());
  QCOMPARE(tabs->chainPage()->sites().size(), std::size_t{31});
  QCOMPARE(tabs->gofrPage()->drawnPointCount(), gofrLines);
  QVERIFY(h.child<QLabel>("gofrInfo")->text().contains("N = 50"));
  QVERIFY(h.child<QLabel>("chainInfo")->text().contains("N = 30"));

  // A cancelled run changes no plot.
  QSignalSpy ended(h.form.get(), &Form1::runEnded);
  h.setUp("RLOPT", "1000000", "100000", "1");
  h.clickRun();
  QTest::mouseClick(h.child<QPushButton>("CancelRun"), Qt::LeftButton);
  QVERIFY(caught(ended));
  QCOMPARE(tabs->chainPage()->sites().size(), std::size_t{31});
}

void PlotsTest::longChainIsThinnedForDrawingOnly() {
  Harness h;
  ChainPage* page = tabsOf(h)->chainPage();
  h.setUp("RLOPT", "60000", "1", "3");
  QVERIFY(h.runAndWait());
  const std::vector<Point>& all = page->sites();
  QCOMPARE(all.size(), std::size_t{60001});  // the data stay whole
  QVERIFY(page->drawnPointCount() <= ChainPage::kMaxDrawnSites);
  QVERIFY(page->drawnPointCount() >= ChainPage::kMaxDrawnSites / 2);
  QVERIFY(h.child<QLabel>("chainInfo")->text().contains("60001 sites"));

  if (!page->isThreeD()) {
    // What reaches the chart: within the cap over all bands, from the first site to the last.
    const std::vector<QLineSeries*> bands =
        lineSeriesOf(h.child<QChartView>("chainProjection")->chart());
    QCOMPARE(bands.size(), std::size_t{ChainPage::kColourBands});
    std::size_t drawn = 0;
    for (QLineSeries* band : bands) drawn += static_cast<std::size_t>(band->count());
    QVERIFY2(drawn <= ChainPage::kMaxDrawnSites, qPrintable(QString::number(drawn)));
    QCOMPARE(bands.front()->at(0), QPointF(0, 0));
    QCOMPARE(bands.back()->at(bands.back()->count() - 1), QPointF(all.back().x, all.back().y));
    // Neighbouring bands meet, so the line has no gaps.
    for (std::size_t b = 1; b < bands.size(); ++b) {
      QCOMPARE(bands[b]->at(0), bands[b - 1]->at(bands[b - 1]->count() - 1));
    }
  }
}

void PlotsTest::gofqOpensOnTheLogAxisUntilTheUserChooses() {
  Harness h;
  CorrelationPage* page = tabsOf(h)->gofqPage();
  QVERIFY(tabsOf(h)->gofrPage()->logAxisBox() == nullptr);
  // The vertical axis the curve is drawn on: the only one shown.
  const auto vertical = [page]() -> QAbstractAxis::AxisType {
    QAbstractAxis* found = nullptr;
    for (QAbstractAxis* axis : page->chart()->axes(Qt::Vertical)) {
      const bool used = page->chart()->series().value(0)->attachedAxes().contains(axis);
      if (used != axis->isVisible()) return QAbstractAxis::AxisTypeNoAxis;
      if (used) found = found == nullptr ? axis : nullptr;
    }
    return found == nullptr ? QAbstractAxis::AxisTypeNoAxis : found->type();
  };
  // g(q) of a chain spans many decades, bin 0 above all.
  h.setUp("RLOPT", "1000", "2", "4", true);
  QVERIFY(h.runAndWait());
  auto* box = h.child<QCheckBox>("gofqLogAxis");
  QCOMPARE(box->text(), QString("Logarithmic g(q) axis"));
  QVERIFY(box->isChecked());
  QCOMPARE(vertical(), QAbstractAxis::AxisTypeLogValue);
  qsizetype positive = 0;
  for (const double v : page->values()) positive += v > 0.0 ? 1 : 0;
  QCOMPARE(page->drawnPointCount(), positive);

  // Cleared by hand, the linear axis stays for the next run.
  box->click();
  QCOMPARE(vertical(), QAbstractAxis::AxisTypeValue);
  QCOMPARE(page->drawnPointCount(), static_cast<qsizetype>(page->values().size()));
  h.field("Seed")->setText("5");
  QVERIFY(h.runAndWait());
  QCOMPARE(vertical(), QAbstractAxis::AxisTypeValue);
  box->click();
  QCOMPARE(vertical(), QAbstractAxis::AxisTypeLogValue);
}

void PlotsTest::plotsAreSavedAsPngOrSvg() {
  Harness h;
  PlotTabs* tabs = tabsOf(h);
  QTemporaryDir dir;
  QVERIFY(dir.isValid());
  QString answer;
  QStringList offered;
  tabs->setSaveNameHook([&](QWidget*, const QString& suggested) {
    offered << suggested;
    return answer;
  });
  h.setUp("RLOPT", "300", "2", "6", true);
  QVERIFY(h.runAndWait());
  // Clicks a save button and waits until that save has ended.
  QSignalSpy saved(tabs, &PlotTabs::plotSaveEnded);
  const auto save = [&](const char* button) {
    saved.clear();
    QTest::mouseClick(h.child<QPushButton>(button), Qt::LeftButton);
    return caught(saved);
  };

  // The chain, on screen: a PNG the size of the plot or larger.
  answer = dir.filePath("chain.png");
  tabs->setCurrentWidget(tabs->chainPage());
  // The click returns at once; the status says what goes on until the file is written.
  QTest::mouseClick(h.child<QPushButton>("saveChainPlot"), Qt::LeftButton);
  QVERIFY2(h.form->status().startsWith("Drawing the plot for "), qPrintable(h.form->status()));
  QVERIFY(caught(saved));
  QCOMPARE(offered.value(0), QString("chain.png"));
  QVERIFY(h.messages.empty());
  QVERIFY(fileBytes(answer).startsWith("\x89PNG\r\n\x1a\n"));
  QImage chain(answer, "PNG");
  QVERIFY(!chain.isNull());
  QVERIFY(chain.width() >= 200 && chain.height() >= 150);
  QVERIFY(colourCount(chain) > 8);
  QVERIFY(h.form->status().contains("chain.png"));

  // g(q), never shown: still a drawn plot, not a blank picture.
  answer = dir.filePath("gofq.PNG");
  QVERIFY(save("saveGofqPlot"));
  QImage gofq(answer, "PNG");
  QVERIFY(!gofq.isNull());
  QVERIFY(colourCount(gofq) > 8);

  // g(r) as SVG.
  answer = dir.filePath("gofr.svg");
  QVERIFY(save("saveGofrPlot"));
  const QByteArray svg = fileBytes(answer);
  QVERIFY(svg.startsWith("<?xml"));
  QVERIFY(svg.contains("<svg"));
  QVERIFY(svg.contains("</svg>"));
  QVERIFY(h.messages.empty());

  // Cancelled: nothing happens. Another extension, or a folder that is not there: a message
  // and no file.
  answer.clear();
  QVERIFY(save("saveGofrPlot"));
  QVERIFY(h.messages.empty());
  answer = dir.filePath("gofr.jpg");
  QVERIFY(save("saveGofrPlot"));
  QCOMPARE(h.messages.size(), std::size_t{1});
  QCOMPARE(h.messages[0].title, QString("Save Plot"));
  QVERIFY(h.messages[0].text.contains(".png") && h.messages[0].text.contains(".svg"));
  QVERIFY(!QFile::exists(answer));
  answer = dir.filePath("missing/gofr.png");
  QVERIFY(save("saveGofrPlot"));
  QCOMPARE(h.messages.size(), std::size_t{2});
  QCOMPARE(h.messages[1].icon, QMessageBox::Warning);
  QVERIFY(h.messages[1].text.contains("missing"));
}

void PlotsTest::detailsShowTheExtendedStatisticsOfTheLastRun() {
  struct Case {
    const char* option;
    ModelSettings model;
    bool counted;
  };
  for (const Case& c :
       {Case{"RLOPT", MeanderSettings{}, false}, Case{"SAWOPT", SawSettings{}, true},
        Case{"ShortOpt", ShortRangeSettings{}, true}}) {
    Harness h;
    QVERIFY(h.field("detailsRmsEnd")->text().isEmpty());
    h.setUp(c.option, "40", "6", "21");
    RunParams params;
    params.model = c.model;
    params.steps = 40;
    params.iterations = 6;
    params.seed = 21;
    RunObserver quiet;
    const ExtendedStats stats = runSimulation(params, quiet).extended;
    QVERIFY(h.runAndWait());
    for (const CommonStatistic& statistic : commonStatistics()) {
      const std::string name(statistic.control);
      QCOMPARE(h.field(name.c_str())->text(), estimateDisplay(stats.*statistic.value));
      QVERIFY2(h.field(name.c_str())->text().contains("±"), name.c_str());
    }
    QCOMPARE(h.field("detailsChains")->text(), QString("6"));
    QVERIFY(h.child<QLabel>("detailsRun")->text().contains("seed 21"));
    QCOMPARE(h.child<QGroupBox>("detailsCountsBox")->isHidden(), !c.counted);
    if (c.counted) {
      QVERIFY(h.field("detailsTrials")->text().startsWith("mean "));
      QVERIFY(
          h.field("detailsTrials")->text().contains(", max " + QString::number(stats.trials->max)));
    }
  }
  QCOMPARE(estimateDisplay({}), QString("n/a"));
  QCOMPARE(estimateDisplay({2.0, std::numeric_limits<double>::quiet_NaN()}), QString("2 ± n/a"));
}

// After a melt the Chain tab shows every chain of the last sample, each a line of its own
// colour (or a line a piece, wrapped into the periodic box), with the box's outline and, in
// the projection, its walls normal to x or y as thick sides; the toggle is reached by Tab and
// switched by Space. A run of one chain shows that chain again.
void PlotsTest::aMeltShowsEveryChainOfItsBoxWrappedOrWhole() {
  Harness h;
  h.form->activateWindow();
  QVERIFY(QTest::qWaitForWindowActive(h.form.get()));
  PlotTabs* tabs = tabsOf(h);
  ChainPage* page = tabs->chainPage();
  auto* wrapped = h.child<QCheckBox>("chainWrapped");
  QVERIFY(wrapped->isHidden());
  h.setUp("melt", "10", "1", "7");
  h.field("Chains")->setText("20");
  h.field("Density")->setText("0.3");
  h.child<QComboBox>("Walls")->setCurrentText("z");
  QVERIFY(h.runAndWait());
  QVERIFY(h.messages.empty());
  QVERIFY(page->showsBox());
  const ChainBox& box = *h.form->state().exportData().run->box;
  QCOMPARE(box.chains(), std::int64_t{20});
  QVERIFY(h.child<QLabel>("chainInfo")
              ->text()
              .contains("20 chains in a box of side 9, walls "
                        "normal to z"));
  QVERIFY(wrapped->isVisibleTo(h.form.get()) && wrapped->isChecked());
  QVERIFY(!wrapped->accessibleName().isEmpty());
  QVERIFY(wrapped->focusPolicy() & Qt::TabFocus);
  auto* chart = h.child<QChartView>("chainProjection")->chart();
  const auto lines = [&] {
    qsizetype drawn = 0;
    for (const QAbstractSeries* series : chart->series()) {
      drawn += static_cast<const QLineSeries*>(series)->count() > 0;
    }
    return drawn;
  };
  const BoxView inside = boxView(box, true, ChainPage::kMaxDrawnBoxSites);
  QCOMPARE(page->drawnPieceCount(), inside.pieces.size());
  QCOMPARE(lines(), qsizetype(inside.pieces.size()) + 1);  // and the outline
  h.child<QPushButton>("chainResetView")->setFocus(Qt::TabFocusReason);
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
  QCOMPARE(QApplication::focusWidget(), wrapped);
  QTest::keyClick(wrapped, Qt::Key_Space);
  QVERIFY(!wrapped->isChecked());
  QCOMPARE(page->drawnPieceCount(), std::size_t{20});  // each chain whole
  QCOMPARE(lines(), qsizetype{21});
  QVERIFY(chart->title().contains("whole"));
  // Its letter, back into the box (a button so pressed shows itself pressed a moment first).
  QTest::keyClick(h.form.get(), Qt::Key_X, Qt::AltModifier);
  QTRY_VERIFY(wrapped->isChecked());
  QCOMPARE(page->drawnPieceCount(), inside.pieces.size());

  h.setUp("RLOPT", "30", "1", "2");
  QVERIFY(h.runAndWait());
  QVERIFY(!page->showsBox());
  QVERIFY(wrapped->isHidden());
  QCOMPARE(page->drawnPointCount(), std::size_t{31});
  QCOMPARE(lines(), qsizetype{16});  // the chain's colour bands alone
}

POLYCHAIN_GUI_TEST(PlotsTest)

}  // namespace polychain::test

#include "plots_test.moc"
