// The documentation's screenshot driver against the window as it is: it finds the fields and
// tabs it fills in, runs, and saves a picture of the window, or of tabs side by side.
#include <QImage>
#include <QTemporaryDir>
#include <QTest>
#include <set>

#include "gui/plottabs.h"
#include "guitest.h"
#include "screenshot.h"

namespace polychain::test {

namespace {

// Distinct colours in a sample of the image's pixels: a blank picture has one or two.
std::size_t colours(const QImage& image) {
  std::set<QRgb> seen;
  for (int y = 0; y < image.height(); y += 7) {
    for (int x = 0; x < image.width(); x += 7) seen.insert(image.pixel(x, y));
  }
  return seen.size();
}

// Takes `shot` of the harness's window; whether it ended, saved, within two minutes.
bool shoot(Harness& h, const Screenshot& shot) {
  bool ended = false, saved = false;
  takeScreenshot(*h.form, shot, [&](bool ok) { ended = true, saved = ok; });
  return QTest::qWaitFor([&] { return ended; }, 120000) && saved;
}

}  // namespace

class ScreenshotTest : public QObject {
  Q_OBJECT

 private slots:
  void savesTheWindowAfterItsRun() {
    QTemporaryDir dir;
    Harness h;
    const QString file = dir.filePath("window.png");
    QVERIFY(shoot(h, {file, {}, "RLOPT"}));
    QCOMPARE(h.field("Seed")->text(), QString("20240611"));
    QVERIFY(!h.field("Rgtxt")->text().isEmpty());  // the run's results are in the picture
    const QImage image(file);
    QCOMPARE(image.size(), h.form->size());
    QVERIFY(colours(image) > 20);
    QVERIFY(h.messages.empty());
  }

  void putsNamedTabsSideBySideAfterASweep() {
    QTemporaryDir dir;
    Harness h;
    const QString file = dir.filePath("tabs.png");
    QVERIFY(shoot(h, {file, {"Details", "Scaling"}, "SAWOPT"}));
    const QWidget* tabs = h.form->plotTabs();
    const QImage image(file);
    QCOMPARE(image.width(), 2 * tabs->width() + 12);
    QCOMPARE(image.height(), tabs->height());
    QVERIFY(colours(image) > 20);
    // A tab the window does not have is refused, and nothing is written (the same window: a
    // picture taken leaves nothing behind that a later one would set off).
    const QString missing = dir.filePath("missing.png");
    QVERIFY(!shoot(h, {missing, {"Nowhere"}, "RLOPT"}));
    QVERIFY(!QFile::exists(missing));
  }
};

POLYCHAIN_GUI_TEST(ScreenshotTest)

}  // namespace polychain::test

#include "screenshot_test.moc"
