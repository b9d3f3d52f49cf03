// The main window driven through its real widgets, found by object name.
#include <QAbstractButton>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QProgressBar>
#include <QStatusBar>
#include <QtTest>
#include <set>

#include "gui/simulationworker.h"
#include "guitest.h"
#include "polychain/formats.h"
#include "polychain/texts.h"
#include "reference/runparams.h"
#include "reference/textmodel.h"
#include "window/windowtexts.h"

namespace polychain::test {

namespace {

// The results and chain export text the window should show for a run.
std::pair<ResultTexts, std::string> directRun(ModelSettings model, std::int32_t steps,
                                              std::int32_t iterations, std::uint64_t seed) {
  const RunParams params = reference::runParams(model, steps, iterations, seed, 2);
  RunObserver quiet;
  const RunResult result = runSimulation(params, quiet);
  return {resultTexts(result.values), chainExportText(params, result)};
}

// Starts a run that takes far longer than any test waits, of short chains, which a cancel
// must stop as promptly as long ones: 2 x 10^11 steps.
void startLongRun(Harness& h) {
  h.setUp("RLOPT", "100", "2000000000", "1");
  h.clickRun();
}

}  // namespace

class Form1Test : public QObject {
  Q_OBJECT

 private slots:
  void runFromClickToTheSixResults();
  void secondRunReplacesAllSixResults();
  void runButtonIsDisabledWhileARunIsGoingOn();
  void cancelLeavesTheEarlierResults();
  void escapeCancelsTheRun();
  void badInputShowsTheMessageAndChangesNothing();
  void noOptionSelectedAsksForAModel();
  void everyModelRunsAsItDoesDirectly();
  void onlyTheChosenModelsFieldsAreOpen();
  void trappedChainNoticeAndStatusNameTheSameChain();
  void closingDuringARunStopsItAtOnce();
};

void Form1Test::runFromClickToTheSixResults() {
  Harness h;
  h.setUp("RLOPT", "50", "4", "99");
  QVERIFY(h.runAndWait());
  QVERIFY(h.messages.empty());
  const reference::TextRun expected = reference::textMeander(50, 4, 99);
  QCOMPARE(h.resultTexts(), texts(expected.results));
  QCOMPARE(exportText(*h.form, "cdat"), expected.chainText);
  QCOMPARE(h.child<QLabel>("seedUsed")->text(), QString("Seed: 99"));
  QCOMPARE(h.form->status(), QString("Run finished."));
  QVERIFY(h.child<QProgressBar>("ProgressBar1")->isHidden());
  QVERIFY(h.child<QProgressBar>("ProgressBar2")->isHidden());
  QVERIFY(h.child<QPushButton>("SimRun")->isEnabled());

  // With the seed field empty a seed is drawn from the clock, shown, and repeats the run.
  h.field("Seed")->clear();
  h.field("Iterations")->setText("2");
  QVERIFY(h.runAndWait());
  const QString shown = h.child<QLabel>("seedUsed")->text();
  QVERIFY2(shown.startsWith("Seed: "), qPrintable(shown));
  bool ok = false;
  const std::uint64_t seed = shown.mid(6).toULongLong(&ok);
  QVERIFY(ok);
  QCOMPARE(h.resultTexts(), texts(reference::textMeander(50, 2, seed).results));
}

void Form1Test::secondRunReplacesAllSixResults() {
  Harness h;
  h.setUp("RLOPT", "20", "3", "1");
  QVERIFY(h.runAndWait());
  QCOMPARE(h.resultTexts(), texts(reference::textMeander(20, 3, 1).results));
  // Mark every box, so that a box the second run failed to write would show it.
  for (const char* name : {"eR", "TR", "Rsqred", "TRsqred", "pers", "Rgtxt"}) {
    h.field(name)->setText("stale");
  }
  h.setUp("RLOPT", "30", "5", "2");
  QVERIFY(h.runAndWait());
  QCOMPARE(h.resultTexts(), texts(reference::textMeander(30, 5, 2).results));
}

void Form1Test::runButtonIsDisabledWhileARunIsGoingOn() {
  Harness h;
  QSignalSpy started(h.form.get(), &Form1::runStarted);
  startLongRun(h);
  QCOMPARE(started.count(), 1);
  QVERIFY(!h.child<QPushButton>("SimRun")->isEnabled());
  QVERIFY(h.child<QPushButton>("CancelRun")->isEnabled());
  QVERIFY(h.child<QProgressBar>("ProgressBar1")->isVisible());
  QVERIFY(h.child<QProgressBar>("ProgressBar2")->isVisible());
  QVERIFY(h.form->status().startsWith("Running Meander"));
  h.clickRun();
  QMetaObject::invokeMethod(h.form.get(), "SimRun_Click");  // even when called directly
  QCOMPARE(started.count(), 1);

  // The window keeps working meanwhile: the progress reaches it.
  QSignalSpy progressed(h.form->findChild<SimulationWorker*>("runWorker"),
                        &SimulationWorker::progressed);
  QVERIFY(caught(progressed));
  QSignalSpy ended(h.form.get(), &Form1::runEnded);
  QTest::mouseClick(h.child<QPushButton>("CancelRun"), Qt::LeftButton);
  QVERIFY(caught(ended));
  QVERIFY(h.child<QPushButton>("SimRun")->isEnabled());
  QVERIFY(!h.child<QPushButton>("CancelRun")->isEnabled());
}

void Form1Test::cancelLeavesTheEarlierResults() {
  Harness h;
  h.setUp("RLOPT", "40", "3", "5", true);
  QVERIFY(h.runAndWait());
  const QStringList before = h.resultTexts();
  const std::string chainBefore = exportText(*h.form, "cdat");
  const std::string gofrBefore = exportText(*h.form, "gor");
  const std::string gofqBefore = exportText(*h.form, "goq");
  QVERIFY(!gofrBefore.empty());

  QSignalSpy ended(h.form.get(), &Form1::runEnded);
  startLongRun(h);
  QTest::mouseClick(h.child<QPushButton>("CancelRun"), Qt::LeftButton);
  QVERIFY(caught(ended));
  QCOMPARE(h.resultTexts(), before);
  QCOMPARE(exportText(*h.form, "cdat"), chainBefore);
  QCOMPARE(exportText(*h.form, "gor"), gofrBefore);
  QCOMPARE(exportText(*h.form, "goq"), gofqBefore);
  QVERIFY2(h.form->status().contains("cancelled"), qPrintable(h.form->status()));
  // The seed shown is that of the results shown, not of the run that was cancelled.
  QCOMPARE(h.child<QLabel>("seedUsed")->text(), QString("Seed: 5"));
  QVERIFY(h.child<QProgressBar>("ProgressBar1")->isHidden());
  QVERIFY(h.messages.empty());
}

void Form1Test::escapeCancelsTheRun() {
  Harness h;
  h.form->activateWindow();
  QVERIFY(QTest::qWaitForWindowActive(h.form.get()));
  QSignalSpy ended(h.form.get(), &Form1::runEnded);
  startLongRun(h);
  QTest::keyClick(h.form.get(), Qt::Key_Escape);
  QVERIFY(caught(ended));
  QVERIFY(h.form->status().contains("cancelled"));
  QVERIFY(h.resultTexts().join("").isEmpty());
  QVERIFY(h.child<QLabel>("seedUsed")->isHidden());  // no results, so no seed
}

void Form1Test::badInputShowsTheMessageAndChangesNothing() {
  Harness h;
  h.setUp("RLOPT", "10", "2", "3");
  QVERIFY(h.runAndWait());
  const QStringList before = h.resultTexts();
  const std::string chainBefore = exportText(*h.form, "cdat");
  QSignalSpy started(h.form.get(), &Form1::runStarted);

  struct Case {
    const char* option;
    const char* steps;
    const char* iterations;
    const char* setting;  // Avoid or Kuhn
    const char* named;    // the field the message must name
  };
  const Case cases[] = {
      {"RLOPT", "", "2", "1", "Steps (N)"},       {"RLOPT", "abc", "2", "1", "Steps (N)"},
      {"RLOPT", "0", "2", "1", "Steps (N)"},      {"RLOPT", "10", "", "1", "Iterations"},
      {"RLOPT", "10", "-1", "1", "Iterations"},   {"SAWOPT", "10", "2", "x", "Self-Avoidance"},
      {"ShortOpt", "10", "2", "0", "Kuhn Length"}};
  for (const Case& c : cases) {
    h.messages.clear();
    h.setUp(c.option, c.steps, c.iterations, "");
    h.field("Avoid")->setText(c.setting);
    h.field("Kuhn")->setText(c.setting);
    h.clickRun();
    QCOMPARE(h.messages.size(), std::size_t{1});
    QCOMPARE(h.messages[0].title, QString("Run Simulation"));
    QVERIFY2(h.messages[0].text.contains(c.named), qPrintable(h.messages[0].text));
  }
  QCOMPARE(started.count(), 0);
  QCOMPARE(h.resultTexts(), before);
  QCOMPARE(exportText(*h.form, "cdat"), chainBefore);
  QVERIFY(h.child<QPushButton>("SimRun")->isEnabled());
  QVERIFY(h.child<QProgressBar>("ProgressBar1")->isHidden());
}

void Form1Test::noOptionSelectedAsksForAModel() {
  Harness h;
  const QString status = h.form->status();
  QSignalSpy started(h.form.get(), &Form1::runStarted);
  h.field("StepNum")->setText("10");
  h.field("Iterations")->setText("oops");
  h.clickRun();
  QCOMPARE(started.count(), 0);
  QVERIFY(h.messages.empty());  // no box, and nothing but the status changes
  QVERIFY(h.resultTexts().join("").isEmpty());
  QVERIFY2(h.form->status() != status && h.form->status().contains("choose one"),
           qPrintable(h.form->status()));
  QVERIFY(h.child<QLabel>("seedUsed")->isHidden());
}

// Every model of the table, with its default settings, gives in the window what a direct run
// gives, and shows its own measures in the Details tab.
void Form1Test::everyModelRunsAsItDoesDirectly() {
  for (const ModelInfo* model : modelTable()) {
    Harness h;
    h.setUp(std::string(model->key).c_str(), "20", "3", "11");
    QCOMPARE(h.form->chosenModel(), model);
    const auto [results, chainText] = directRun(model->defaults(), 20, 3, 11);
    QVERIFY(h.runAndWait());
    QVERIFY2(h.messages.empty(), model->key.data());
    QCOMPARE(h.resultTexts(), texts(results));
    QCOMPARE(exportText(*h.form, "cdat"), chainText);
    for (const ModelInfo* other : modelTable()) {
      QString key = QString::fromUtf8(other->measuresKey.data(),
                                      static_cast<qsizetype>(other->measuresKey.size()));
      if (key.isEmpty()) continue;
      key[0] = key[0].toUpper();
      auto* box = h.form->findChild<QGroupBox*>("details" + key + "Box");
      if (box != nullptr) QCOMPARE(box->isHidden(), other != model);
    }
  }
}

// Only the chosen model's settings are open: those of the models with options of their own
// are disabled while another of them is chosen and take no room while a model from the list
// is; a listed model's take no room until it is chosen. Open before any model is chosen: the
// settings of the models with options of their own, to be filled in beforehand. Every text is kept.
void Form1Test::onlyTheChosenModelsFieldsAreOpen() {
  Harness h;
  // Each model's fields, found by the caption that names them to a screen reader (and by
  // their model, as models may share a caption, such as the energies').
  const auto fieldOf = [&](const ModelInfo* model, std::string_view caption) -> QWidget* {
    const QString name = QString::fromUtf8(caption.data(), static_cast<qsizetype>(caption.size()));
    for (QWidget* w : h.child<QWidget>("Frame1")->findChildren<QWidget*>()) {
      const bool field =
          qobject_cast<QLineEdit*>(w) || qobject_cast<QComboBox*>(w) || qobject_cast<QCheckBox*>(w);
      if (field && w->accessibleName() == name &&
          w->property("modelKey").toString() == QString::fromUtf8(model->key)) {
        return w;
      }
    }
    return nullptr;
  };
  const auto fieldsOf = [&](const ModelInfo* model) {
    std::vector<QWidget*> fields;
    for (const SettingInfo& setting : model->settings) {
      if (!setting.field.empty()) fields.push_back(fieldOf(model, setting.caption));
    }
    if (model->countsTrials) fields.push_back(h.field("RestartTrapped"));
    return fields;
  };
  std::set<QWidget*> all;
  std::set<QWidget*> ownOptions;  // the fields of the models with options of their own
  for (const ModelInfo* model : modelTable()) {
    bool own = false;
    for (const QRadioButton* option : h.form->findChildren<QRadioButton*>()) {
      own = own || option->property("modelKey").toString() == QString::fromUtf8(model->key);
    }
    for (QWidget* field : fieldsOf(model)) {
      QVERIFY2(field != nullptr, model->key.data());
      all.insert(field);
      if (own) ownOptions.insert(field);
    }
  }
  // By their names, sorted.
  const auto names = [](const auto& fields) {
    QStringList list;
    for (const QWidget* field : fields) list << field->accessibleName();
    list.sort();
    return list;
  };
  // The fields a user can type in, each shown as its caption is.
  const auto open = [&] {
    std::vector<QWidget*> usable;
    for (QWidget* field : all) {
      const bool shown = field->isVisibleTo(h.form.get());
      for (const QLabel* label : h.form->findChildren<QLabel*>()) {
        if (label->buddy() == field && (label->isEnabled() != field->isEnabled() ||
                                        label->isVisibleTo(h.form.get()) != shown)) {
          return QStringList{"the caption of " + field->accessibleName()};
        }
      }
      if (shown && field->isEnabled()) usable.push_back(field);
    }
    return names(usable);
  };
  QCOMPARE(open(), names(ownOptions));
  for (QLineEdit* line : h.form->findChildren<QLineEdit*>()) {
    if (all.contains(line)) line->setText("7");
  }
  for (const ModelInfo* model : modelTable()) {
    h.choose(std::string(model->key).c_str());
    const std::vector<QWidget*> read = fieldsOf(model);
    QCOMPARE(open(), names(read));
    for (QLineEdit* line : h.form->findChildren<QLineEdit*>()) {
      if (all.contains(line)) QCOMPARE(line->text(), QString("7"));
    }
  }
}

void Form1Test::trappedChainNoticeAndStatusNameTheSameChain() {
  Harness h;
  auto* notice = h.child<QWidget>("trappedNotice");
  auto* current = h.child<QProgressBar>("ProgressBar2");
  QVERIFY(notice->isHidden());
  QSignalSpy ended(h.form.get(), &Form1::runEnded);
  h.setUp("SAWOPT", "100", "2000000000", "1");
  h.field("RestartTrapped")->setText("5000000");
  h.clickRun();
  // Several chains grow at once: the run reports one as trapped, then goes on reporting
  // whichever chain it last looked at.
  auto* worker = h.form->findChild<SimulationWorker*>("runWorker");
  emit worker->chainTrapped(16, 20001792);
  QVERIFY(notice->isVisible());
  QVERIFY(h.messages.empty());  // a notice, not a box that blocks
  const QString prompt = h.child<QLabel>("trappedText")->text();
  QVERIFY2(prompt.startsWith("Chain 17 of 2000000000 ") && prompt.contains("5000000") &&
               prompt.contains("Regrow trapped chains after (trials)"),
           qPrintable(prompt));
  emit worker->progressed(88.0f, 12.0f, 43, 16860160);
  QVERIFY2(h.form->status().startsWith("Chain 17 of 2000000000 may be trapped (20001792 "),
           qPrintable(h.form->status()));
  emit worker->progressed(88.0f, 3.0f, 16, 20500000);
  QVERIFY2(h.form->status().contains("(20500000 trials)"), qPrintable(h.form->status()));
  QCOMPARE(current->maximum(), 0);  // busy: trials go on
  QTest::mouseClick(h.child<QPushButton>("trappedCancel"), Qt::LeftButton);
  QVERIFY(caught(ended));
  QVERIFY(notice->isHidden());
  QVERIFY(h.form->status().contains("cancelled"));
  QCOMPARE(current->maximum(), 100);  // the next run starts afresh
}

void Form1Test::closingDuringARunStopsItAtOnce() {
  Harness h;
  startLongRun(h);
  auto* worker = h.form->findChild<SimulationWorker*>("runWorker");
  QVERIFY(worker->running());
  h.form->close();  // returns only once the run's thread has stopped
  QVERIFY(!worker->running());
  QVERIFY(!h.form->isVisible());
  h.form.reset();  // and nothing is left to crash on
}

POLYCHAIN_GUI_TEST(Form1Test)

}  // namespace polychain::test

#include "form1_test.moc"
