// The window at its smallest size and from the keyboard alone: nothing needed out of sight,
// no trap, the keys a desktop user expects, and the focus moving once where a run moves it.
#include <QChart>
#include <QChartView>
#include <QClipboard>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineSeries>
#include <QMenu>
#include <QProgressBar>
#include <QScrollArea>
#include <QScrollBar>
#include <QStatusBar>
#include <QTabBar>
#include <QTreeWidget>
#include <QtTest>

#include "gui/chainpage.h"
#include "gui/detailspage.h"
#include "gui/exportdialog.h"
#include "gui/plottabs.h"
#include "gui/scalingpage.h"
#include "gui/simulationworker.h"
#include "gui/viewframe.h"
#include "guitest.h"
#include "polychain/texts.h"
#include "reference/runparams.h"
#include "reference/textmodel.h"

namespace polychain::test {

namespace {

void activate(Harness& h) {
  h.form->activateWindow();
  QVERIFY(QTest::qWaitForWindowActive(h.form.get()));
}

void settle() {
  // Laid out as on screen: layouts apply their changes as posted events.
  for (int i = 0; i < 3; ++i) QCoreApplication::processEvents();
}

// The shown widgets of `group` that are cut off, by the window's edge or a scrolled area.
QStringList cutOff(QWidget* group) {
  QStringList cut;
  for (QWidget* w : group->findChildren<QWidget*>()) {
    if (w->isHidden() || w->window() != group->window()) continue;  // not a popup's
    if (w->visibleRegion().boundingRect() != w->rect())
      cut << w->objectName() + " " + w->metaObject()->className();
  }
  return cut;
}

// Two models only these tests offer, entered as a new model would be: one with a setting of
// each kind and more settings than any model of the table, one with a single setting. Their
// settings are read as the free walk's.
std::optional<SettingValue> noValue(const ModelSettings&) { return std::nullopt; }
void ignored(ModelSettings&, const SettingValue&) {}
ModelSettings freeWalk() { return MeanderSettings{}; }
constexpr std::string_view kShapes[] = {"linear", "ring", "star"};
const SettingInfo kSixSettings[] = {
    {.key = "arms",
     .field = "Arms",
     .caption = "Arms of the star",
     .least = 1,
     .most = 12,
     .get = noValue,
     .set = ignored},
    {.key = "stiffness",
     .field = "Stiffness",
     .caption = "Bending stiffness (kT)",
     .kind = SettingKind::Real,
     .highest = 10,
     .get = noValue,
     .set = ignored},
    {.key = "shape",
     .field = "Shape",
     .caption = "Shape of the molecule",
     .kind = SettingKind::Choice,
     .choices = kShapes,
     .get = noValue,
     .set = ignored},
    {.key = "grafted",
     .field = "Grafted",
     .caption = "Grafted to the wall",
     .kind = SettingKind::Flag,
     .get = noValue,
     .set = ignored},
    {.key = "spacing",
     .field = "Spacing",
     .caption = "Spacing of the arms",
     .least = 1,
     .most = 100,
     .get = noValue,
     .set = ignored},
    {.key = "energy",
     .field = "Contact energy",
     .caption = "Contact energy (kT)",
     .kind = SettingKind::Real,
     .lowest = -10,
     .highest = 10,
     .get = noValue,
     .set = ignored},
};
const SettingInfo kOneSetting[] = {
    {.key = "charge",
     .field = "Charge",
     .caption = "Charge per site",
     .kind = SettingKind::Real,
     .lowest = -1,
     .highest = 1,
     .get = noValue,
     .set = ignored},
};
const ModelInfo kStarModel{.key = "test-star",
                           .caption = "Grafted stars with bending stiffness (test)",
                           .summary = "Offered by the tests only",
                           .settings = kSixSettings,
                           .defaults = freeWalk};
const ModelInfo kChargedModel{.key = "test-charged",
                              .caption = "Charged chain (test)",
                              .summary = "Offered by the tests only",
                              .settings = kOneSetting,
                              .defaults = freeWalk};

// The models a window offers, in the order of its options: those with an option of their
// own, then each in the list beside "Other model".
std::vector<const ModelInfo*> offered(Harness& h, std::span<const ModelInfo* const> more = {}) {
  std::vector<const ModelInfo*> own, listed;
  auto* list = h.child<QComboBox>("OtherModel");
  std::vector<const ModelInfo*> all(modelTable().begin(), modelTable().end());
  all.insert(all.end(), more.begin(), more.end());
  for (const ModelInfo* model : all) {
    const QString key =
        QString::fromUtf8(model->key.data(), static_cast<qsizetype>(model->key.size()));
    (list->findData(key) >= 0 ? listed : own).push_back(model);
  }
  own.insert(own.end(), listed.begin(), listed.end());
  return own;
}

}  // namespace

class KeyboardTest : public QObject {
  Q_OBJECT

 private slots:
  void opensWithinTheScreen();
  void statusStaysOneLineAndNothingNeededIsHidden();
  void scalingTabFitsAndTabGoesInTheOrderShown();
  void tabLeavesTheChainViewBothWays();
  void keysADesktopUserExpects();
  void meltRunsFromTheKeyboardAndItsDetailsFit();
  void focusPassesOnceAtTheStartAndEndOfARun();
};

// Made without a size, on the tests' screen of 800 x 600: it fits the area the screen offers.
void KeyboardTest::opensWithinTheScreen() {
  Form1 window;
  window.show();
  QVERIFY(QTest::qWaitForWindowExposed(&window));
  const QSize room = window.screen()->availableGeometry().size();
  const QSize opened = window.frameGeometry().size();
  QVERIFY2(opened.width() <= room.width() && opened.height() <= room.height(),
           qPrintable(QString("%1 x %2 on %3 x %4")
                          .arg(opened.width())
                          .arg(opened.height())
                          .arg(room.width())
                          .arg(room.height())));
}

void KeyboardTest::statusStaysOneLineAndNothingNeededIsHidden() {
  Harness h({&kStarModel, &kChargedModel});  // 800 x 600
  settle();
  QStatusBar* bar = h.form->statusBar();
  const int oneLine = bar->height();
  QVERIFY(oneLine < 3 * bar->fontMetrics().height());
  const auto checkInSight = [&](const char* when) {
    settle();
    QCOMPARE(bar->height(), oneLine);
    for (const char* group : {"Frame1", "Frame2"}) {
      const QStringList cut = cutOff(h.child<QGroupBox>(group));
      QVERIFY2(cut.isEmpty(), qPrintable(QString("%1, %2: ").arg(when, group) + cut.join(", ")));
    }
    QCOMPARE(h.child<QScrollArea>("controlPanel")->verticalScrollBar()->value(), 0);
  };
  checkInSight("at start");
  // Each model chosen in turn, the models beyond the table's included: its settings in sight.
  for (const ModelInfo* model :
       offered(h, std::vector<const ModelInfo*>{&kStarModel, &kChargedModel})) {
    h.choose(std::string(model->key).c_str());
    QCOMPARE(h.form->chosenModel(), model);
    checkInSight(model->key.data());
  }

  // The longest messages: a save to a deep folder and a trapped chain of a huge run.
  const QString longest =
      "Saved the plot to /" + QString("very-long-folder-name/").repeated(20) + "chain.png.";
  emit h.form->plotTabs()->statusMessage(longest);
  QCOMPARE(h.form->status(), longest);  // whole, though cut on screen
  QCOMPARE(h.child<QLabel>("statusMessage")->toolTip(), longest);
  checkInSight("after a long message");
  // The Scaling tab's save button, at the foot of its plot.
  h.form->plotTabs()->setCurrentWidget(h.form->plotTabs()->widget(4));
  settle();
  QWidget* saveSweep = h.form->plotTabs()->scalingPage()->saveButton();
  QCOMPARE(saveSweep->visibleRegion().boundingRect(), saveSweep->rect());

  // A run going on, with a chain reported trapped: its progress and the notice's buttons in
  // sight, and still nothing of the parameters or results pushed away.
  QSignalSpy ended(h.form.get(), &Form1::runEnded);
  h.setUp("SAWOPT", "100", "2000000000", "1");
  h.clickRun();
  auto* worker = h.form->findChild<SimulationWorker*>("runWorker");
  emit worker->correlationProgressed(10.0f);
  emit worker->chainTrapped(1999999999, 987654321012);
  checkInSight("with a trapped chain");
  for (const char* name : {"ProgressBar1", "ProgressBar2", "ProgressBar3"}) {
    auto* progress = h.child<QProgressBar>(name);
    QVERIFY2(progress->isVisible() && progress->visibleRegion().boundingRect() == progress->rect(),
             name);
  }
  for (const char* name : {"trappedCancel", "trappedDismiss", "trappedText"}) {
    auto* w = h.child<QWidget>(name);
    QVERIFY2(w->isVisible() && w->visibleRegion().boundingRect() == w->rect(), name);
  }
  auto* notice = h.child<QLabel>("trappedText");  // and the whole of its text
  QVERIFY(notice->height() >= notice->heightForWidth(notice->width()));
  QTest::mouseClick(h.child<QPushButton>("trappedCancel"), Qt::LeftButton);
  QVERIFY(caught(ended));
  checkInSight("after the cancelled run");
}

void KeyboardTest::scalingTabFitsAndTabGoesInTheOrderShown() {
  Harness h;  // 800 x 600
  activate(h);
  PlotTabs* tabs = h.form->plotTabs();
  tabs->setCurrentWidget(tabs->widget(4));
  // Five N: the fit with the correction too, the longest text under the plot.
  h.child<QRadioButton>("RLOPT")->setChecked(true);
  h.field("sweepSteps")->setText("100,200,400,800,1600");
  h.field("sweepIterations")->setText("20");
  h.field("sweepSeed")->setText("7");
  QSignalSpy swept(tabs->scalingPage(), &ScalingPage::sweepEnded);
  tabs->scalingPage()->runSweep();
  QVERIFY(caught(swept));
  settle();

  // All in sight at once: the page needs no scrolling, the plot takes half the tab at least,
  // the notes show every line, and the list of points two whole rows at least.
  auto* area = h.child<QScrollArea>("scalingPageScroll");
  QCOMPARE(area->verticalScrollBar()->maximum(), 0);
  QCOMPARE(area->horizontalScrollBar()->maximum(), 0);
  QVERIFY(h.child<QWidget>("sweepChart")->height() >= area->height() / 2);
  QVERIFY(h.child<QLabel>("sweepExponent")->text().contains("with the correction"));
  for (const char* name : {"sweepStatus", "sweepExponent", "sweepReferences"}) {
    auto* label = h.child<QLabel>(name);
    QVERIFY2(label->isVisible() && label->height() >= label->heightForWidth(label->width()), name);
  }
  auto* points = h.child<QTreeWidget>("sweepPoints");
  QCOMPARE(points->topLevelItemCount(), 5);
  QVERIFY(points->viewport()->rect().contains(points->visualItemRect(points->topLevelItem(1))));

  // Tab from the tab bar through the page in the order shown, then on to the controls: no
  // scrolling area is a stop of its own, and the plot takes no keys.
  tabs->tabBar()->setFocus(Qt::TabFocusReason);
  QStringList order;
  for (int i = 0; i < 7; ++i) {
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    order << QApplication::focusWidget()->objectName();
  }
  QCOMPARE(order, (QStringList{"sweepSteps", "sweepIterations", "sweepSeed", "runSweep",
                               "saveSweepPlot", "sweepPoints", "RLOPT"}));
}

void KeyboardTest::tabLeavesTheChainViewBothWays() {
  Harness h;
  activate(h);
  PlotTabs* tabs = h.form->plotTabs();
  tabs->setCurrentIndex(0);
  ChainPage* chain = tabs->chainPage();
  QWidget* view = chain->plotFocusWidget();
  QWidget* before = tabs->tabBar();
  QWidget* after = h.child<QPushButton>("chainResetView");
  before->setFocus(Qt::TabFocusReason);
  QVERIFY(before->hasFocus());
  // Into the view and out of it: the control after it in at most two presses, and back.
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
  QCOMPARE(QApplication::focusWidget(), view);
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
  QCOMPARE(QApplication::focusWidget(), after);
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backtab);
  QCOMPARE(QApplication::focusWidget(), view);
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backtab);
  QCOMPARE(QApplication::focusWidget(), before);
  if (chain->isThreeD()) {
    // The 3D view turns and zooms from the keyboard while it has the focus.
    auto* frame = qobject_cast<ViewFrame*>(view);
    QVERIFY(frame != nullptr);
    QSignalSpy turned(frame, &ViewFrame::turnRequested);
    QSignalSpy zoomed(frame, &ViewFrame::zoomRequested);
    view->setFocus(Qt::TabFocusReason);
    QTest::keyClick(view, Qt::Key_Left);
    QTest::keyClick(view, Qt::Key_Up);
    QTest::keyClick(view, Qt::Key_Plus);
    QTest::keyClick(view, Qt::Key_Minus);
    QCOMPARE(turned.count(), 2);
    QCOMPARE(zoomed.count(), 2);
    QVERIFY(zoomed.at(0).at(0).toFloat() > 1.0f && zoomed.at(1).at(0).toFloat() < 1.0f);
  }
}

void KeyboardTest::keysADesktopUserExpects() {
  Harness h;
  activate(h);
  // Arrow keys in the model group select the option they reach, in the order shown and
  // round again: the models with options of their own, then "Other model" with the model
  // its list shows, the first one there.
  const std::vector<const ModelInfo*> models = offered(h);
  const auto options =
      std::ssize(models) - h.child<QComboBox>("OtherModel")->count() + 1;  // own ones, Other
  h.child<QRadioButton>("RLOPT")->setFocus(Qt::TabFocusReason);
  std::ptrdiff_t at = 0;
  for (const Qt::Key key : {Qt::Key_Right, Qt::Key_Right, Qt::Key_Down, Qt::Key_Right,
                            Qt::Key_Right, Qt::Key_Left, Qt::Key_Up}) {
    QTest::keyClick(QApplication::focusWidget(), key);
    const bool forward = key == Qt::Key_Right || key == Qt::Key_Down;
    at = (at + (forward ? 1 : options - 1)) % options;
    auto* option = qobject_cast<QRadioButton*>(QApplication::focusWidget());
    QVERIFY(option != nullptr && option->isChecked());
    QCOMPARE(h.form->chosenModel(), models[static_cast<std::size_t>(at)]);
  }

  // Alt+O chooses "Other model" and goes to its list.
  h.child<QRadioButton>("RLOPT")->setChecked(true);
  QTest::keyClick(h.form.get(), Qt::Key_O, Qt::AltModifier);
  QVERIFY(h.child<QRadioButton>("OtherOpt")->isChecked());
  QCOMPARE(QApplication::focusWidget(), h.child<QComboBox>("OtherModel"));

  // Alt and a caption's letter go to its field; Alt+F opens the File menu and types nothing.
  h.setUp("RLOPT", "30", "2", "4");
  QTest::keyClick(h.form.get(), Qt::Key_N, Qt::AltModifier);
  QCOMPARE(QApplication::focusWidget(), h.field("StepNum"));
  QTest::keyClick(h.field("StepNum"), Qt::Key_F, Qt::AltModifier);
  auto* fileMenu = h.child<QMenu>("FileMenu");
  QTRY_VERIFY(fileMenu->isVisible());
  QCOMPARE(h.field("StepNum")->text(), QString("30"));
  QTest::keyClick(fileMenu, Qt::Key_Escape);
  QTRY_VERIFY(!fileMenu->isVisible());
  activate(h);

  // Return in a field runs the simulation.
  QSignalSpy ended(h.form.get(), &Form1::runEnded);
  h.field("StepNum")->setFocus();
  QTest::keyClick(h.field("StepNum"), Qt::Key_Return);
  QVERIFY(caught(ended));
  QCOMPARE(h.resultTexts(), texts(reference::textMeander(30, 2, 4).results));

  // Tab reaches the result boxes, whose values copy with Ctrl+C.
  h.child<QPushButton>("SimRun")->setFocus(Qt::TabFocusReason);
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);  // Cancel is disabled
  QLineEdit* eR = h.field("eR");
  QCOMPARE(QApplication::focusWidget(), eR);
  QTest::keyClick(eR, Qt::Key_A, Qt::ControlModifier);
  QTest::keyClick(eR, Qt::Key_C, Qt::ControlModifier);
  QCOMPARE(QGuiApplication::clipboard()->text(), eR->text());
  QTest::keyClick(eR, Qt::Key_Tab);
  QCOMPARE(QApplication::focusWidget(), h.field("TR"));

  // Ctrl+E opens the export dialog.
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_E, Qt::ControlModifier);
  QVERIFY(h.form->findChild<ExportDialog*>("Export") != nullptr);
  QVERIFY(h.form->exportDialog()->isVisible());
}

// A small melt chosen, filled in and run with keys alone: the melt by its letter from the
// list of further models, the walls from their list, the fields the melt does not read passed
// over by Tab. The window's results are the command's
// for the same settings, and the Details tab shows the melt's measures without a sideways
// scroll at 800 x 600.
void KeyboardTest::meltRunsFromTheKeyboardAndItsDetailsFit() {
  Harness h;
  activate(h);
  h.child<QRadioButton>("RLOPT")->setFocus(Qt::TabFocusReason);
  QTest::keyClick(h.form.get(), Qt::Key_E, Qt::AltModifier);
  QCOMPARE(h.form->chosenModel(), &modelInfo(MeltSettings{}));
  QVERIFY(h.child<QRadioButton>("OtherOpt")->isChecked());
  QCOMPARE(QApplication::focusWidget(), h.child<QComboBox>("OtherModel"));
  const auto type = [](const QString& text) {
    QWidget* field = QApplication::focusWidget();
    QTest::keyClick(field, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClicks(field, text);
  };
  QTest::keyClick(h.form.get(), Qt::Key_N, Qt::AltModifier);
  type("10");
  QTest::keyClick(h.form.get(), Qt::Key_I, Qt::AltModifier);
  type("1");
  QStringList order;
  for (const char* text : {"20", "0.3", ""}) {
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    order << QApplication::focusWidget()->objectName();
    type(text);
  }
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
  order << QApplication::focusWidget()->objectName();
  QCOMPARE(order, (QStringList{"Chains", "Density", "Box", "Walls"}));
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_Down);
  QCOMPARE(h.child<QComboBox>("Walls")->currentText(), QString("z"));
  QTest::keyClick(h.form.get(), Qt::Key_D, Qt::AltModifier);  // the melt's fields have letters
  QCOMPARE(QApplication::focusWidget(), h.field("Density"));
  QTest::keyClick(h.form.get(), Qt::Key_S, Qt::AltModifier);
  type("7");
  QSignalSpy ended(h.form.get(), &Form1::runEnded);
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
  QVERIFY2(h.messages.empty(), qPrintable(h.messages.empty() ? "" : h.messages.front().text));
  QVERIFY(h.form->runInProgress() || ended.count() > 0);
  QVERIFY(caught(ended));

  const RunParams params =
      reference::runParams(MeltSettings{.chains = 20, .density = 0.3, .walls = 1}, 10, 1, 7);
  RunObserver quiet;
  const RunResult direct = runSimulation(params, quiet);
  QCOMPARE(h.resultTexts(), texts(resultTexts(direct.values)));

  PlotTabs* tabs = h.form->plotTabs();
  tabs->setCurrentWidget(tabs->detailsPage());
  settle();
  QVERIFY(h.child<QGroupBox>("detailsMeltBox")->isVisible());
  // The box the density asks for: 20 chains of 11 sites at 0.3 fill a side of 9.
  QCOMPARE(h.field("details_side")->text(), QString("9"));
  QCOMPARE(h.field("details_internal_distances")->text(), QString("10 values"));
  // The curve plotted against its own n (here every n from 1 to N).
  auto* view = h.child<QChartView>("details_internal_distances_plot");
  auto* series = qobject_cast<QLineSeries*>(view->chart()->series().value(0));
  QVERIFY(series != nullptr);
  const int at = modelInfo(MeltSettings{}).findMeasure("internal_distances");
  const MeasureValue& curve = direct.measures[static_cast<std::size_t>(at)];
  QCOMPARE(series->count(), 10);
  QCOMPARE(curve.at.size(), std::size_t{10});
  for (int i = 0; i < series->count(); ++i) {
    const auto k = static_cast<std::size_t>(i);
    QCOMPARE(series->at(i), QPointF(curve.at[k], curve.curve[k]));
  }
  QVERIFY(view->isVisible());
  // The chains' form factor, the Debye function beside it, and the box's structure factor.
  const QList<QAbstractSeries*> factors =
      h.child<QChartView>("details_factors_plot")->chart()->series();
  QCOMPARE(factors.size(), 3);
  const auto* form = qobject_cast<QLineSeries*>(factors[0]);
  QCOMPARE(form->count(), static_cast<int>(direct.formFactor->q.size()));
  QCOMPARE(form->at(1), QPointF(direct.formFactor->q[1], direct.formFactor->P[1]));
  QCOMPARE(qobject_cast<QLineSeries*>(factors[2])->count(),
           static_cast<int>(direct.structureFactor->q.size()));
  auto* area = tabs->detailsPage()->findChild<QScrollArea*>();
  QCOMPARE(area->horizontalScrollBar()->maximum(), 0);
}

void KeyboardTest::focusPassesOnceAtTheStartAndEndOfARun() {
  Harness h;
  activate(h);
  h.setUp("RLOPT", "100", "2000000000", "1");
  auto* run = h.child<QPushButton>("SimRun");
  auto* cancel = h.child<QPushButton>("CancelRun");
  run->setFocus(Qt::TabFocusReason);
  QSignalSpy moves(qApp, &QApplication::focusChanged);
  QSignalSpy ended(h.form.get(), &Form1::runEnded);
  QTest::keyClick(run, Qt::Key_Space);
  QVERIFY(h.form->runInProgress());
  QCOMPARE(moves.count(), 1);
  QCOMPARE(moves.at(0).at(1).value<QWidget*>(), static_cast<QWidget*>(cancel));
  QTest::keyClick(cancel, Qt::Key_Space);
  QVERIFY(caught(ended));
  QCOMPARE(moves.count(), 2);
  QCOMPARE(moves.at(1).at(1).value<QWidget*>(), static_cast<QWidget*>(run));
}

POLYCHAIN_GUI_TEST(KeyboardTest)

}  // namespace polychain::test

#include "keyboard_test.moc"
