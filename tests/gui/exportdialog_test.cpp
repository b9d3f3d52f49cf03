// The export dialog and the files it writes, driven through the real widgets; the save
// dialog is answered through the window's hook.
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QGroupBox>
#include <QProgressBar>
#include <QTemporaryDir>
#include <QtTest>
#include <algorithm>
#include <array>
#include <map>

#include "gui/exportdialog.h"
#include "guitest.h"
#include "polychain/formats.h"
#include "reference/runparams.h"
#include "reference/textmodel.h"

namespace polychain::test {

namespace {

QByteArray fileBytes(const QString& path) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) return "<missing>";
  return file.readAll();
}

QByteArray bytes(const std::string& text) {
  return QByteArray(text.data(), static_cast<qsizetype>(text.size()));
}

void writeBytes(const QString& path, const QByteArray& data) {
  QFile file(path);
  QVERIFY(file.open(QIODevice::WriteOnly));
  file.write(data);
}

// An extended XYZ file as written for a run: the side of its cubic cell, and the positions
// of the sites by molecule (from 1).
using Site = std::array<double, 3>;
struct XyzFile {
  double side = 0;
  std::map<int, std::vector<Site>> molecules;
};

XyzFile readXyz(const QByteArray& text) {
  XyzFile file;
  const QList<QByteArray> lines = text.split('\n');
  if (lines.size() < 2) return file;
  const QByteArray cell = lines[1].mid(lines[1].indexOf('"') + 1);
  file.side = cell.left(cell.indexOf(' ')).toDouble();
  for (qsizetype i = 2; i < lines.size(); ++i) {
    const QList<QByteArray> fields = lines[i].split(' ');
    if (fields.size() != 5) continue;
    file.molecules[fields[4].toInt()].push_back(
        {fields[1].toDouble(), fields[2].toDouble(), fields[3].toDouble()});
  }
  return file;
}

// Opens the dialog from the menu, sets the ticks, presses "Export" and waits for the files.
void exportWith(Harness& h, bool chain, bool gofr, bool gofq) {
  h.child<QAction>("mnuFile_Export")->trigger();
  ExportDialog* dialog = h.form->exportDialog();
  dialog->findChild<QCheckBox*>("ChainData")->setChecked(chain);
  dialog->findChild<QCheckBox*>("gofr")->setChecked(gofr);
  dialog->findChild<QCheckBox*>("gofq")->setChecked(gofq);
  QTest::mouseClick(dialog->findChild<QPushButton*>("Command1"), Qt::LeftButton);
  QVERIFY(h.waitForExport());
}

// The files the window should write for a run.
struct Expected {
  std::string cdat, gor, goq;
};

Expected directRun(ModelSettings model, std::int32_t steps, std::int32_t iterations, bool gofr,
                   std::uint64_t seed) {
  RunParams params = reference::runParams(model, steps, iterations, seed, 2);
  params.calcParCF = gofr;
  RunObserver quiet;
  const RunResult result = runSimulation(params, quiet);
  Expected e{chainExportText(params, result), {}, {}};
  if (result.correlation) {
    e.gor = gofrText(*result.correlation);
    e.goq = gofqText(*result.correlation);
  }
  return e;
}

// The formats of placed chains, in the table's order.
std::vector<const FormatInfo*> chainFormats() {
  std::vector<const FormatInfo*> formats;
  for (const FormatInfo& format : formatTable()) {
    if (format.writeEnsemble != nullptr) formats.push_back(&format);
  }
  return formats;
}

QString qtext(std::string_view text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

}  // namespace

class ExportDialogTest : public QObject {
  Q_OBJECT

 private slots:
  void dialogIsModelessWithItsTabOrder();
  void ticksPersistBecauseTheDialogIsOnlyHidden();
  void opensOnTheFirstBoxWhereReturnExportsNothing();
  void saveDialogIsTitledAndFilteredAndCancelKeepsTheDialog();
  void nothingTickedOffersNoExport();
  void exportSaysWhatItWroteAndAsksBeforeReplacing();
  void freeWalkFilesHoldTheBuffersExactly();
  void everyModelExportsItsBuffers_data();
  void everyModelExportsItsBuffers();
  void extensionIsAppendedToTheWholeChosenName();
  void unwritablePlaceIsReportedAndLeavesTheOldFile();
  void exportBeforeAnyRunWritesNothingAndSaysWhy();
  void chainFormatsHoldTheRunsLastChainAlone();
  void theExportIsWrittenOnAWorkerAndItsCancelReplacesNothing();
};

void ExportDialogTest::dialogIsModelessWithItsTabOrder() {
  Harness h;
  QVERIFY(h.form->findChild<ExportDialog*>() == nullptr);  // made on first use
  h.child<QAction>("mnuFile_Export")->trigger();
  ExportDialog* dialog = h.form->findChild<ExportDialog*>("Export");
  QVERIFY(dialog != nullptr);
  QVERIFY(dialog->isVisible());
  QVERIFY(!dialog->isModal());
  QVERIFY(h.child<QPushButton>("SimRun")->isEnabled());  // the main window stays usable
  // Tab order: the three boxes, the chain formats in the table's order, then Export, then
  // Cancel, and round again.
  QStringList expected{"ChainData", "gofr", "gofq"};
  for (const FormatInfo* format : chainFormats()) expected << qtext(format->key) + "Format";
  expected << "Command1"
           << "Command2"
           << "ChainData";
  QStringList order;
  QWidget* w = dialog->findChild<QCheckBox*>("ChainData");
  for (qsizetype i = 0; i < expected.size(); ++i) {
    order << w->objectName();
    do {
      w = w->nextInFocusChain();
    } while (!(w->focusPolicy() & Qt::TabFocus));
  }
  QCOMPARE(order, expected);
}

void ExportDialogTest::ticksPersistBecauseTheDialogIsOnlyHidden() {
  Harness h;
  h.child<QAction>("mnuFile_Export")->trigger();
  ExportDialog* dialog = h.form->exportDialog();
  QPointer<ExportDialog> guard(dialog);
  dialog->findChild<QCheckBox*>("gofq")->setChecked(true);
  QTest::mouseClick(dialog->findChild<QPushButton*>("Command2"), Qt::LeftButton);
  QVERIFY(dialog->isHidden());
  QVERIFY(h.saveRequests.empty());  // Cancel writes nothing and asks nothing
  dialog->close();
  QCoreApplication::processEvents();
  QVERIFY(!guard.isNull());
  h.child<QAction>("mnuFile_Export")->trigger();
  QCOMPARE(h.form->exportDialog(), dialog);
  QVERIFY(dialog->isVisible());
  QVERIFY(dialog->findChild<QCheckBox*>("gofq")->isChecked());
  QVERIFY(!dialog->findChild<QCheckBox*>("ChainData")->isChecked());
}

// Each time it opens, the first box has the focus, and Return there presses nothing: the
// ticks go out by "Export" alone (its letter, or Return with the focus on it). Every box
// and button has a letter of its own.
void ExportDialogTest::opensOnTheFirstBoxWhereReturnExportsNothing() {
  Harness h;
  QTemporaryDir dir;
  h.saveName = dir.filePath("early");
  auto* exportData = h.child<QAction>("mnuFile_Export");
  exportData->trigger();
  ExportDialog* dialog = h.form->exportDialog();
  QVERIFY(QTest::qWaitForWindowActive(dialog));
  auto* first = dialog->findChild<QCheckBox*>("ChainData");
  QCOMPARE(QApplication::focusWidget(), first);
  QStringList letters;
  for (const QAbstractButton* control : dialog->findChildren<QAbstractButton*>()) {
    const QString letter = QKeySequence::mnemonic(control->text()).toString();
    QVERIFY2(!letter.isEmpty() && !letters.contains(letter), qPrintable(control->objectName()));
    letters << letter;
  }
  QCOMPARE(letters.size(), 3 + std::ssize(chainFormats()) + 2);  // boxes, formats, buttons

  QTest::keyClick(first, Qt::Key_Q, Qt::AltModifier);
  QTRY_VERIFY(dialog->findChild<QCheckBox*>("gofq")->isChecked());
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
  QVERIFY(h.saveRequests.empty());
  auto* exportButton = dialog->findChild<QPushButton*>("Command1");
  QTest::mouseClick(exportButton, Qt::LeftButton);
  QCOMPARE(h.saveRequests.size(), std::size_t{1});
  QVERIFY(h.waitForExport());   // written on a worker
  QVERIFY(dialog->isHidden());  // nothing to write yet, which a message said

  // Opened again, on the first box, not on "Export" where the focus was left.
  exportData->trigger();
  QCOMPARE(dialog->focusWidget(), first);  // offscreen, a window shown again stays inactive
  QTest::keyClick(first, Qt::Key_Return);
  QCOMPARE(h.saveRequests.size(), std::size_t{1});
  QVERIFY(dialog->isVisible());
  QTest::keyClick(first, Qt::Key_E, Qt::AltModifier);
  QTRY_COMPARE(h.saveRequests.size(), std::size_t{2});
  // Until that export has ended, Export only says that one is being written.
  QVERIFY(h.waitForExport());
  exportData->trigger();
  exportButton->setFocus(Qt::TabFocusReason);
  QTest::keyClick(exportButton, Qt::Key_Return);
  QCOMPARE(h.saveRequests.size(), std::size_t{3});
}

void ExportDialogTest::saveDialogIsTitledAndFilteredAndCancelKeepsTheDialog() {
  Harness h;
  QTemporaryDir dir;
  h.setUp("RLOPT", "5", "1", "1");
  QVERIFY(h.runAndWait());
  h.saveName.clear();  // the user cancels the save dialog
  exportWith(h, true, false, true);
  QCOMPARE(h.saveRequests.size(), std::size_t{1});
  QCOMPARE(h.saveRequests[0].title, QString("Save"));
  QCOMPARE(h.saveRequests[0].filter, QString("All Files (*.*)"));
  ExportDialog* dialog = h.form->exportDialog();
  QVERIFY(dialog->isVisible());
  QVERIFY(dialog->findChild<QCheckBox*>("ChainData")->isChecked());
  QVERIFY(dialog->findChild<QCheckBox*>("gofq")->isChecked());
  QVERIFY(h.messages.empty());
  QVERIFY(QDir(dir.path()).isEmpty());
}

void ExportDialogTest::nothingTickedOffersNoExport() {
  Harness h;
  h.setUp("RLOPT", "5", "1", "1", true);
  QVERIFY(h.runAndWait());
  exportWith(h, false, false, false);
  auto* exportButton = h.form->exportDialog()->findChild<QPushButton*>("Command1");
  QVERIFY(!exportButton->isEnabled());
  QVERIFY(!exportButton->toolTip().isEmpty());  // says why
  h.form->SaveTheFile();                        // even called directly
  QVERIFY(h.saveRequests.empty());
  QVERIFY(h.messages.empty());
  h.form->exportDialog()->findChild<QCheckBox*>("gofq")->setChecked(true);
  QVERIFY(exportButton->isEnabled());
}

void ExportDialogTest::exportSaysWhatItWroteAndAsksBeforeReplacing() {
  Harness h;
  QTemporaryDir dir;
  h.setUp("RLOPT", "30", "3", "6", true);
  QVERIFY(h.runAndWait());
  const Expected expected = directRun(MeanderSettings{}, 30, 3, true, 6);
  // Two of the three files exist; the chosen name itself is never written.
  writeBytes(dir.filePath("run.gor"), "older g(r)");
  writeBytes(dir.filePath("run.goq"), "older g(q)");
  h.saveName = dir.filePath("run");
  const QString before = h.form->status();

  h.answer = false;
  exportWith(h, true, true, true);
  QCOMPARE(h.questions.size(), std::size_t{1});
  QCOMPARE(h.questions[0].title, QString("Export"));
  const QString question = h.questions[0].text;
  QVERIFY2(question.contains(dir.filePath("run.gor")) && question.contains(dir.filePath("run.goq")),
           qPrintable(question));
  QVERIFY(!question.contains("run.cdat"));
  QCOMPARE(fileBytes(dir.filePath("run.gor")), QByteArray("older g(r)"));
  QVERIFY(!QFile::exists(dir.filePath("run.cdat")));  // nothing written at all
  QVERIFY(h.form->exportDialog()->isVisible());       // for another name
  QCOMPARE(h.form->status(), before);

  h.answer = true;
  exportWith(h, true, true, true);
  QCOMPARE(h.questions.size(), std::size_t{2});
  QCOMPARE(fileBytes(dir.filePath("run.gor")), bytes(expected.gor));
  QCOMPARE(fileBytes(dir.filePath("run.goq")), bytes(expected.goq));
  QCOMPARE(h.form->status(), "Exported run.cdat, run.gor and run.goq to " + dir.path() + ".");
  QVERIFY(h.messages.empty());

  // New files need no question.
  h.saveName = dir.filePath("fresh");
  exportWith(h, true, false, false);
  QCOMPARE(h.questions.size(), std::size_t{2});
  QCOMPARE(h.form->status(), "Exported fresh.cdat to " + dir.path() + ".");
}

void ExportDialogTest::freeWalkFilesHoldTheBuffersExactly() {
  Harness h;
  QTemporaryDir dir;
  // Without g(r): the chain goes out; g(r) and g(q) were never calculated.
  h.setUp("RLOPT", "30", "3", "5");
  QVERIFY(h.runAndWait());
  h.saveName = dir.filePath("plain");
  exportWith(h, true, true, true);
  QCOMPARE(fileBytes(dir.filePath("plain.cdat")),
           bytes(reference::textMeander(30, 3, 5).chainText));
  QVERIFY(!QFile::exists(dir.filePath("plain.gor")));
  QVERIFY(!QFile::exists(dir.filePath("plain.goq")));
  QCOMPARE(h.messages.size(), std::size_t{1});
  QVERIFY(h.messages[0].text.contains("g(r) was not calculated in any run"));
  QVERIFY(h.messages[0].text.contains("Written: \"" + dir.filePath("plain.cdat") + "\"."));

  // With g(r): all three, byte for byte, with plain line feeds.
  h.messages.clear();
  h.setUp("RLOPT", "30", "3", "6", true);
  QVERIFY(h.runAndWait());
  const Expected withGofr = directRun(MeanderSettings{}, 30, 3, true, 6);
  h.saveName = dir.filePath("gofr");
  exportWith(h, true, true, true);
  QVERIFY(h.messages.empty());
  QVERIFY(h.form->exportDialog()->isHidden());
  QCOMPARE(fileBytes(dir.filePath("gofr.cdat")), bytes(reference::textMeander(30, 3, 6).chainText));
  QCOMPARE(fileBytes(dir.filePath("gofr.gor")), bytes(withGofr.gor));
  QCOMPARE(fileBytes(dir.filePath("gofr.goq")), bytes(withGofr.goq));
  QVERIFY(fileBytes(dir.filePath("gofr.gor")).startsWith("0,1\n"));
  QVERIFY(!fileBytes(dir.filePath("gofr.gor")).contains('\r'));

  // A later run without g(r): its chain, and the g(r) of the run that calculated it.
  h.setUp("RLOPT", "30", "3", "7");
  QVERIFY(h.runAndWait());
  h.saveName = dir.filePath("later");
  exportWith(h, true, true, true);
  QCOMPARE(fileBytes(dir.filePath("later.cdat")),
           bytes(reference::textMeander(30, 3, 7).chainText));
  QCOMPARE(fileBytes(dir.filePath("later.gor")), bytes(withGofr.gor));
  QCOMPARE(fileBytes(dir.filePath("later.goq")), bytes(withGofr.goq));
}

void ExportDialogTest::everyModelExportsItsBuffers_data() {
  QTest::addColumn<QString>("option");
  QTest::addColumn<int>("model");  // its place in the model table
  QTest::addColumn<bool>("gofr");
  QTest::newRow("SAW") << "SAWOPT" << 1 << false;
  QTest::newRow("SAW with g(r)") << "SAWOPT" << 1 << true;
  QTest::newRow("short range") << "ShortOpt" << 2 << false;
  QTest::newRow("short range with g(r)") << "ShortOpt" << 2 << true;
}

void ExportDialogTest::everyModelExportsItsBuffers() {
  QFETCH(QString, option);
  QFETCH(int, model);
  QFETCH(bool, gofr);
  const Expected expected = directRun(
      model == 1 ? ModelSettings(SawSettings{2}) : ShortRangeSettings{2}, 25, 2, gofr, 31);
  Harness h;
  QTemporaryDir dir;
  h.setUp(option.toUtf8().constData(), "25", "2", "31", gofr);
  h.field("Avoid")->setText("2");
  h.field("Kuhn")->setText("2");
  QVERIFY(h.runAndWait());
  h.saveName = dir.filePath("m");
  exportWith(h, true, true, true);
  QCOMPARE(fileBytes(dir.filePath("m.cdat")), bytes(expected.cdat));
  if (gofr) {
    QVERIFY(h.messages.empty());
    QCOMPARE(fileBytes(dir.filePath("m.gor")), bytes(expected.gor));
    QCOMPARE(fileBytes(dir.filePath("m.goq")), bytes(expected.goq));
  } else {
    QVERIFY(!QFile::exists(dir.filePath("m.gor")));
  }
}

void ExportDialogTest::extensionIsAppendedToTheWholeChosenName() {
  Harness h;
  QTemporaryDir dir;
  h.setUp("RLOPT", "8", "2", "3");
  QVERIFY(h.runAndWait());
  writeBytes(dir.filePath("a.cdat"), "chosen, never written");
  h.saveName = dir.filePath("a.cdat");
  exportWith(h, true, false, false);
  QCOMPARE(fileBytes(dir.filePath("a.cdat.cdat")), bytes(exportText(*h.form, "cdat")));
  QCOMPARE(fileBytes(dir.filePath("a.cdat")), QByteArray("chosen, never written"));
  QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).size(), 2);
}

void ExportDialogTest::unwritablePlaceIsReportedAndLeavesTheOldFile() {
  Harness h;
  QTemporaryDir dir;
  h.setUp("RLOPT", "8", "2", "3", true);
  QVERIFY(h.runAndWait());

  // A folder that does not exist: each ticked file is tried and reported with the reason.
  h.saveName = dir.filePath("missing/a");
  exportWith(h, true, true, false);
  QCOMPARE(h.messages.size(), std::size_t{1});
  QCOMPARE(h.messages[0].icon, QMessageBox::Warning);
  QCOMPARE(h.messages[0].title, QString("Export"));
  QVERIFY(h.messages[0].text.contains("Could not write \"" + dir.filePath("missing/a.cdat") +
                                      "\": No such file or directory"));
  QVERIFY(h.messages[0].text.contains("Could not write \"" + dir.filePath("missing/a.gor") + "\""));
  QVERIFY(h.messages[0].text.contains("No file was written."));
  QVERIFY(h.form->exportDialog()->isVisible());  // open, to try another name

  // A folder without write permission, holding an older export.
  const QString locked = dir.filePath("locked");
  QVERIFY(QDir().mkdir(locked));
  writeBytes(locked + "/b.cdat", "older chain");
  QVERIFY(QFile::setPermissions(locked, QFile::ReadOwner | QFile::ExeOwner));
  const bool privileged = ::access(locked.toLocal8Bit().constData(), W_OK) == 0;
  if (!privileged) {
    h.messages.clear();
    h.saveName = locked + "/b";
    exportWith(h, true, false, false);
    QCOMPARE(h.messages.size(), std::size_t{1});
    QVERIFY2(
        h.messages[0].text.contains("Could not write \"" + locked + "/b.cdat\": Permission denied"),
        qPrintable(h.messages[0].text));
    QCOMPARE(fileBytes(locked + "/b.cdat"), QByteArray("older chain"));
  }
  QFile::setPermissions(locked, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);

  // A name too long with its extension: a failure any user can cause, leaving nothing behind.
  const QString longName = dir.filePath(QString(252, 'n'));
  h.messages.clear();
  h.saveName = longName;
  exportWith(h, true, false, true);
  QCOMPARE(h.messages.size(), std::size_t{1});
  QVERIFY(h.messages[0].text.contains("File name too long"));
  QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).size(), 0);
  if (privileged) QSKIP("running with the right to write anywhere: no permission check");
}

void ExportDialogTest::exportBeforeAnyRunWritesNothingAndSaysWhy() {
  Harness h;
  QTemporaryDir dir;
  h.saveName = dir.filePath("early");
  exportWith(h, true, true, true);
  QVERIFY(QDir(dir.path()).isEmpty());
  QCOMPARE(h.messages.size(), std::size_t{1});
  const QString text = h.messages[0].text;
  QVERIFY(text.contains("there is no chain data yet"));
  QVERIFY(text.contains("g(r) was not calculated in any run"));
  QVERIFY(text.contains("g(q) was not calculated in any run"));
  QVERIFY(text.contains("No file was written."));
}

// The last chain in the formats for simulations and viewers, alone in a box of its own: the
// chain `polychain sample --chains I` grows last for the same run, moved from its cell among
// the command's I chains to the corner of a box one lattice unit wider than its widest
// extent. With one iteration, the very bytes the command writes (which the command's tests
// read with each format's own reader).
void ExportDialogTest::chainFormatsHoldTheRunsLastChainAlone() {
  for (const int iterations : {1, 3}) {
    Harness h;
    QTemporaryDir dir;
    h.setUp("SAWOPT", "40", QString::number(iterations), "13");
    QVERIFY(h.runAndWait());
    h.child<QAction>("mnuFile_Export")->trigger();
    ExportDialog* dialog = h.form->exportDialog();
    QStringList keys;
    for (const FormatInfo* format : chainFormats()) {
      keys << qtext(format->key);
      dialog->findChild<QCheckBox*>(keys.back() + "Format")->setChecked(true);
    }
    h.saveName = dir.filePath("one");
    QTest::mouseClick(dialog->findChild<QPushButton*>("Command1"), Qt::LeftButton);
    QVERIFY(h.waitForExport());
    QVERIFY(h.messages.empty());
    QProcess sample;
    sample.start(POLYCHAIN_EXE,
                 {"sample", "--model", "saw", "--steps", "40", "--chains",
                  QString::number(iterations), "--seed", "13", "--max-trials", "1000000",
                  "--format", keys.join(','), "--export", dir.filePath("cmd")});
    QVERIFY(sample.waitForFinished(60000));
    QCOMPARE(sample.exitCode(), 0);
    if (iterations == 1) {
      for (const FormatInfo* format : chainFormats()) {
        const QString extension = qtext(format->extension);
        const QByteArray window = fileBytes(dir.filePath("one" + extension));
        QVERIFY2(!window.isEmpty(), qPrintable(extension));
        QCOMPARE(window, fileBytes(dir.filePath("cmd" + extension)));
      }
      continue;
    }
    const XyzFile window = readXyz(fileBytes(dir.filePath("one.xyz")));
    const XyzFile command = readXyz(fileBytes(dir.filePath("cmd.xyz")));
    QCOMPARE(window.molecules.size(), std::size_t{1});
    QCOMPARE(command.molecules.size(), std::size_t(iterations));
    const std::vector<Site>& chain = window.molecules.at(1);
    const std::vector<Site>& last = command.molecules.at(iterations);
    QCOMPARE(chain.size(), last.size());
    Site low = chain[0], high = chain[0];
    for (std::size_t i = 0; i < chain.size(); ++i) {
      for (std::size_t axis = 0; axis < 3; ++axis) {
        QCOMPARE(chain[i][axis] - last[i][axis], chain[0][axis] - last[0][axis]);
        low[axis] = std::min(low[axis], chain[i][axis]);
        high[axis] = std::max(high[axis], chain[i][axis]);
      }
    }
    QCOMPARE(low, (Site{0.5, 0.5, 0.5}));
    QCOMPARE(window.side, std::max({high[0], high[1], high[2]}) + 0.5);
    QVERIFY(window.side != command.side);
  }
}

// A long chain's file is written while the window goes on (its progress in the status bar);
// the dialog's Cancel stops it and the old file stays, with nothing else beside it.
void ExportDialogTest::theExportIsWrittenOnAWorkerAndItsCancelReplacesNothing() {
  Harness h;
  QTemporaryDir dir;
  h.setUp("RLOPT", "5000000", "1", "4");
  QVERIFY(h.runAndWait());
  writeBytes(dir.filePath("big.cdat"), "older chain");
  h.saveName = dir.filePath("big");
  h.child<QAction>("mnuFile_Export")->trigger();
  ExportDialog* dialog = h.form->exportDialog();
  dialog->findChild<QCheckBox*>("ChainData")->setChecked(true);
  QTest::mouseClick(dialog->findChild<QPushButton*>("Command1"), Qt::LeftButton);
  QVERIFY(h.form->exportInProgress());
  QVERIFY(h.child<QProgressBar>("exportProgress")->isVisible());
  QVERIFY(h.form->status().startsWith("Exporting big.cdat to "));
  QTest::mouseClick(dialog->findChild<QPushButton*>("Command2"), Qt::LeftButton);
  QVERIFY(h.waitForExport());
  QCOMPARE(h.form->status(), QString("The export was cancelled; no file was replaced."));
  QVERIFY(!h.child<QProgressBar>("exportProgress")->isVisible());
  QCOMPARE(fileBytes(dir.filePath("big.cdat")), QByteArray("older chain"));
  QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).size(), 1);
  QVERIFY(h.messages.empty());

  exportWith(h, true, false, false);
  QCOMPARE(fileBytes(dir.filePath("big.cdat")), bytes(exportText(*h.form, "cdat")));
  QCOMPARE(h.form->status(), "Exported big.cdat to " + dir.path() + ".");
}

POLYCHAIN_GUI_TEST(ExportDialogTest)

}  // namespace polychain::test

#include "exportdialog_test.moc"