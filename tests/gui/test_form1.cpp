// The main window driven through its real widgets, found by object name.
#include <QAbstractButton>
#include <QGroupBox>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QProgressBar>
#include <QStatusBar>
#include <QtTest>
#include <optional>
#include <stdexcept>

#include "gui/runworker.h"
#include "guitest.h"
#include "reference/textmodel.h"

namespace polychain::test {

namespace {

// The run the window should have made, or nothing when the model is not built yet.
std::optional<RunOutput> directRun(Model model, std::int32_t steps, std::int32_t iterations,
                                   std::int32_t setting, std::uint64_t seed, QString* why) {
  RunParams params;
  params.model = model;
  params.steps = steps;
  params.iterations = iterations;
  params.avoid = setting;
  params.kuhn = setting;
  params.seed = seed;
  RunObserver quiet;
  try {
    return runSimulation(params, quiet);
  } catch (const std::logic_error& error) {
    *why = QString::fromUtf8(error.what());
    return std::nullopt;
  }
}

// Starts a run that takes far longer than any test waits: 10^11 steps.
void startLongRun(Harness& h) {
  h.setUp("RLOPT", "1000000", "100000", "1");
  h.clickRun();
}

}  // namespace

class Form1Test : public QObject {
  Q_OBJECT

 private slots:
  void controlsHaveTheirNamesCaptionsAndStartingTexts();
  void runFromClickToTheSixResults();
  void secondRunReplacesAllSixResults();
  void runButtonIsDisabledWhileARunIsGoingOn();
  void cancelLeavesTheEarlierResults();
  void escapeCancelsTheRun();
  void badInputShowsTheMessageAndChangesNothing();
  void noOptionSelectedDoesNothing();
  void otherModelsRunOrSayTheyAreNotAvailable();
  void trappedChainNoticeOffersToCancel();
  void runMessagesBecomePlainMessageBoxes();
  void closingDuringARunStopsItAtOnce();
};

void Form1Test::controlsHaveTheirNamesCaptionsAndStartingTexts() {
  Harness h;
  QCOMPARE(h.form->windowTitle(), QString("Form1"));
  QCOMPARE(h.form->objectName(), QString("Form1"));

  const std::pair<const char*, const char*> groups[] = {{"Frame1", "Parameters"},
                                                        {"Frame2", "Results"}};
  for (const auto& [name, title] : groups) {
    QCOMPARE(h.child<QGroupBox>(name)->title(), QString(title));
  }
  const std::pair<const char*, const char*> buttons[] = {
      {"RLOPT", "Meander"},
      {"SAWOPT", "SAW"},
      {"ShortOpt", "Short Range (1-10)"},
      {"CalcParCF", "Calculate Pairwise Correlation Factor"},
      {"SimRun", "Run Simulation"}};
  for (const auto& [name, caption] : buttons) {
    auto* button = h.child<QAbstractButton>(name);
    QCOMPARE(button->text(), QString(caption));
    QCOMPARE(button->accessibleName(), QString(caption));
    QVERIFY2(!button->isChecked(), name);  // no option selected, the box unticked
  }

  // Each caption, exactly as shown (never read as markup), with the field it labels.
  struct Caption {
    const char* label;
    const char* text;
    const char* buddy;
  };
  const Caption captions[] = {{"Label1", "Steps (N) (1 - 100000)", "StepNum"},
                              {"Label2", "Iterations (1 - 100)", "Iterations"},
                              {"Label8", "Self-Avoidance (1-3)", "Avoid"},
                              {"Label9", "Kuhn Length (1-10)", "Kuhn"},
                              {"Label6", "Calculated", "eR"},
                              {"Label7", "Theoretical", "TR"},
                              {"Label3", "<R>", "eR"},
                              {"Label4", "Sqr<R^2>", "Rsqred"},
                              {"Rg", "Rg", "Rgtxt"},
                              {"Label5", "lp", "pers"},
                              {"SeedLabel", "Seed", "Seed"}};
  for (const Caption& c : captions) {
    auto* label = h.child<QLabel>(c.label);
    QCOMPARE(label->text(), QString(c.text));
    QCOMPARE(label->textFormat(), Qt::PlainText);
    QCOMPARE(label->buddy(), h.field(c.buddy));
  }

  const std::pair<const char*, const char*> fields[] = {
      {"StepNum", ""}, {"Iterations", ""}, {"Avoid", "1"}, {"Kuhn", "1"}, {"Seed", ""}};
  for (const auto& [name, text] : fields) {
    QCOMPARE(h.field(name)->text(), QString(text));
    QVERIFY2(!h.field(name)->isReadOnly(), name);
    QVERIFY2(!h.field(name)->accessibleName().isEmpty(), name);
  }
  for (const char* name : {"eR", "TR", "Rsqred", "TRsqred", "pers", "Rgtxt"}) {
    QVERIFY2(h.field(name)->text().isEmpty(), name);
    QVERIFY2(h.field(name)->isReadOnly(), name);
    QVERIFY2(!h.field(name)->accessibleName().isEmpty(), name);
  }
  for (const char* name : {"ProgressBar1", "ProgressBar2", "ProgressBar3"}) {
    auto* bar = h.child<QProgressBar>(name);
    QVERIFY2(bar->isHidden(), name);
    QCOMPARE(bar->minimum(), 0);
    QCOMPARE(bar->maximum(), 100);
    QCOMPARE(bar->accessibleName(), QString(name));
  }

  auto* fileMenu = h.child<QMenu>("FileMenu");
  QCOMPARE(fileMenu->title(), QString("File"));
  QVERIFY(h.form->menuBar()->actions().contains(fileMenu->menuAction()));
  const QList<QAction*> entries = fileMenu->actions();
  QCOMPARE(entries.size(), 2);
  QCOMPARE(entries[0]->objectName(), QString("mnuFile_Export"));
  QCOMPARE(entries[0]->text(), QString("Export Data"));
  QCOMPARE(entries[1]->objectName(), QString("ProgExit"));
  QCOMPARE(entries[1]->text(), QString("Quit"));

  // The option buttons form one group.
  h.child<QRadioButton>("SAWOPT")->click();
  h.child<QRadioButton>("RLOPT")->click();
  QVERIFY(h.child<QRadioButton>("RLOPT")->isChecked());
  QVERIFY(!h.child<QRadioButton>("SAWOPT")->isChecked());
  QVERIFY(!h.child<QRadioButton>("ShortOpt")->isChecked());
}

void Form1Test::runFromClickToTheSixResults() {
  Harness h;
  h.setUp("RLOPT", "50", "4", "99");
  QVERIFY(h.runAndWait());
  QVERIFY(h.messages.empty());
  const reference::TextRun expected = reference::textMeander(50, 4, 99);
  QCOMPARE(h.resultTexts(), texts(expected.results));
  QCOMPARE(h.form->state().buffers().ChainBox, expected.chainText);
  QCOMPARE(h.child<QLabel>("seedUsed")->text(), QString("Seed: 99"));
  QCOMPARE(h.form->statusBar()->currentMessage(), QString("Run finished."));
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
  QVERIFY(h.form->statusBar()->currentMessage().startsWith("Running Meander"));
  h.clickRun();
  QMetaObject::invokeMethod(h.form.get(), "SimRun_Click");  // even when called directly
  QCOMPARE(started.count(), 1);

  // The window keeps working meanwhile: the progress reaches it.
  QSignalSpy progressed(h.form->findChild<RunWorker*>("runWorker"), &RunWorker::progressed);
  QVERIFY(progressed.wait(30000));
  QSignalSpy ended(h.form.get(), &Form1::runEnded);
  QTest::mouseClick(h.child<QPushButton>("CancelRun"), Qt::LeftButton);
  QVERIFY(ended.wait(30000));
  QVERIFY(h.child<QPushButton>("SimRun")->isEnabled());
  QVERIFY(!h.child<QPushButton>("CancelRun")->isEnabled());
}

void Form1Test::cancelLeavesTheEarlierResults() {
  Harness h;
  h.setUp("RLOPT", "40", "3", "5", true);
  QVERIFY(h.runAndWait());
  const QStringList before = h.resultTexts();
  const Form2 buffersBefore = h.form->state().buffers();
  QVERIFY(buffersBefore.gofrBox != kBufferStartText);

  QSignalSpy ended(h.form.get(), &Form1::runEnded);
  startLongRun(h);
  QTest::mouseClick(h.child<QPushButton>("CancelRun"), Qt::LeftButton);
  QVERIFY(ended.wait(30000));
  QCOMPARE(h.resultTexts(), before);
  QCOMPARE(h.form->state().buffers().ChainBox, buffersBefore.ChainBox);
  QCOMPARE(h.form->state().buffers().gofrBox, buffersBefore.gofrBox);
  QCOMPARE(h.form->state().buffers().gofqBox, buffersBefore.gofqBox);
  QVERIFY2(h.form->statusBar()->currentMessage().contains("cancelled"),
           qPrintable(h.form->statusBar()->currentMessage()));
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
  QVERIFY(ended.wait(30000));
  QVERIFY(h.form->statusBar()->currentMessage().contains("cancelled"));
  QVERIFY(h.resultTexts().join("").isEmpty());
}

void Form1Test::badInputShowsTheMessageAndChangesNothing() {
  Harness h;
  h.setUp("RLOPT", "10", "2", "3");
  QVERIFY(h.runAndWait());
  const QStringList before = h.resultTexts();
  const std::string chainBefore = h.form->state().buffers().ChainBox;
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
  QCOMPARE(h.form->state().buffers().ChainBox, chainBefore);
  QVERIFY(h.child<QPushButton>("SimRun")->isEnabled());
  QVERIFY(h.child<QProgressBar>("ProgressBar1")->isHidden());
}

void Form1Test::noOptionSelectedDoesNothing() {
  Harness h;
  QSignalSpy started(h.form.get(), &Form1::runStarted);
  h.field("StepNum")->setText("10");
  h.field("Iterations")->setText("oops");
  h.clickRun();
  QCOMPARE(started.count(), 0);
  QVERIFY(h.messages.empty());
  QVERIFY(h.resultTexts().join("").isEmpty());
  QVERIFY(h.form->statusBar()->currentMessage().isEmpty());
}

void Form1Test::otherModelsRunOrSayTheyAreNotAvailable() {
  const struct {
    const char* option;
    Model model;
  } models[] = {{"SAWOPT", Model::SAW}, {"ShortOpt", Model::ShortRange}};
  for (const auto& m : models) {
    Harness h;
    h.setUp(m.option, "20", "3", "11");
    h.field("Avoid")->setText("2");
    h.field("Kuhn")->setText("2");
    QString why;
    const std::optional<RunOutput> expected = directRun(m.model, 20, 3, 2, 11, &why);
    QVERIFY(h.runAndWait());
    if (expected) {
      QVERIFY(h.messages.empty());
      QCOMPARE(h.resultTexts(), texts(expected->results));
      QCOMPARE(h.form->state().buffers().ChainBox, expected->chainText);
    } else {
      QCOMPARE(h.messages.size(), std::size_t{1});
      QCOMPARE(h.messages[0].text, why);
      QVERIFY(h.resultTexts().join("").isEmpty());
      QVERIFY(h.child<QPushButton>("SimRun")->isEnabled());
    }
  }
}

void Form1Test::trappedChainNoticeOffersToCancel() {
  Harness h;
  auto* notice = h.child<QWidget>("trappedNotice");
  QVERIFY(notice->isHidden());
  QSignalSpy ended(h.form.get(), &Form1::runEnded);
  startLongRun(h);
  emit h.form->findChild<RunWorker*>("runWorker")->chainTrapped(2, 20000000);
  QVERIFY(notice->isVisible());
  QVERIFY(h.child<QLabel>("trappedText")->text().contains("Chain 3 "));
  QVERIFY(h.messages.empty());  // a notice, not a box that blocks
  QTest::mouseClick(h.child<QPushButton>("trappedCancel"), Qt::LeftButton);
  QVERIFY(ended.wait(30000));
  QVERIFY(notice->isHidden());
  QVERIFY(h.form->statusBar()->currentMessage().contains("cancelled"));
}

void Form1Test::runMessagesBecomePlainMessageBoxes() {
  Harness h;
  emit h.form->findChild<RunWorker*>("runWorker")
      ->messageRaised("Error!", "NumSamples is 6, which is not a power of two");
  QCOMPARE(h.messages.size(), std::size_t{1});
  QCOMPARE(h.messages[0].icon, QMessageBox::NoIcon);
  QCOMPARE(h.messages[0].title, QString("Error!"));
  QCOMPARE(h.messages[0].text, QString("NumSamples is 6, which is not a power of two"));
}

void Form1Test::closingDuringARunStopsItAtOnce() {
  Harness h;
  startLongRun(h);
  auto* worker = h.form->findChild<RunWorker*>("runWorker");
  QVERIFY(worker->running());
  h.form->close();  // returns only once the run's thread has stopped
  QVERIFY(!worker->running());
  QVERIFY(!h.form->isVisible());
  h.form.reset();  // and nothing is left to crash on
}

}  // namespace polychain::test

int runForm1Tests(int argc, char** argv) {
  polychain::test::Form1Test tests;
  return QTest::qExec(&tests, argc, argv);
}

#include "test_form1.moc"
