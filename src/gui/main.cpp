// polychain-gui: the desktop window.
//
// Hidden options for the documentation: --screenshot FILE opens the window, makes a small
// run with a fixed seed and saves a picture of the window to FILE (PNG) and exits.
// --size WxH sets the window's size first, --model saw grows self-avoiding walks instead of
// the free walk, and --tab NAME shows that tab; named more than once, the picture shows the
// named tabs side by side instead of the whole window. A small sweep runs first when the
// Scaling tab is among them.
#include <QApplication>
#include <QCheckBox>
#include <QCommandLineParser>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "gui/form1.h"
#include "gui/plottabs.h"
#include "gui/scalingpage.h"

namespace {

bool displayAvailable() {
#if defined(Q_OS_LINUX) || defined(Q_OS_FREEBSD)
  if (!qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) return true;
  return !qEnvironmentVariableIsEmpty("DISPLAY") || !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
#else
  return true;
#endif
}

struct Screenshot {
  QString file;
  QStringList tabs;
  bool selfAvoiding = false;
};

int tabIndex(polychain::PlotTabs* tabs, const QString& name) {
  for (int i = 0; i < tabs->count(); ++i) {
    if (tabs->tabText(i).compare(name, Qt::CaseInsensitive) == 0) return i;
  }
  std::fprintf(stderr, "polychain-gui: no tab %s\n", qPrintable(name));
  return 0;
}

// The picture: the whole window with the one tab named (or the Chain tab), or the named
// tabs side by side.
QPixmap picture(polychain::Form1& window, const QStringList& names) {
  polychain::PlotTabs* tabs = window.plotTabs();
  if (names.size() <= 1) {
    tabs->setCurrentIndex(names.isEmpty() ? 0 : tabIndex(tabs, names.front()));
    QApplication::processEvents();
    return window.picture();
  }
  std::vector<QPixmap> pages;
  for (const QString& name : names) {
    tabs->setCurrentIndex(tabIndex(tabs, name));
    QApplication::processEvents();
    pages.push_back(tabs->grab());
  }
  constexpr int kGap = 12;
  const int width = tabs->width();
  QPixmap all(static_cast<int>(pages.size()) * (width + kGap) - kGap, tabs->height());
  all.fill(window.palette().color(QPalette::Window));
  QPainter painter(&all);
  int x = 0;
  for (const QPixmap& page : pages) {
    painter.drawPixmap(x, 0, page);
    x += width + kGap;
  }
  return all;
}

void save(polychain::Form1& window, const Screenshot& shot) {
  // Let the last updates paint before the picture is taken.
  QTimer::singleShot(300, &window, [&window, shot] {
    const bool saved = picture(window, shot.tabs).save(shot.file, "PNG");
    if (!saved) std::fprintf(stderr, "polychain-gui: could not save %s\n", qPrintable(shot.file));
    QApplication::exit(saved ? 0 : 1);
  });
}

void takeScreenshot(polychain::Form1& window, const Screenshot& shot) {
  window.findChild<QRadioButton*>(shot.selfAvoiding ? "SAWOPT" : "RLOPT")->setChecked(true);
  window.findChild<QLineEdit*>("StepNum")->setText("1000");
  window.findChild<QLineEdit*>("Iterations")->setText("50");
  window.findChild<QLineEdit*>("Seed")->setText("20240611");
  window.findChild<QCheckBox*>("CalcParCF")->setChecked(true);
  polychain::ScalingPage* scaling = window.plotTabs()->scalingPage();
  const bool sweep = shot.tabs.contains("Scaling", Qt::CaseInsensitive);
  QObject::connect(&window, &polychain::Form1::runEnded, &window, [&window, shot, scaling, sweep] {
    if (!sweep) return save(window, shot);
    QObject::connect(scaling, &polychain::ScalingPage::sweepEnded, &window,
                     [&window, shot] { save(window, shot); });
    window.findChild<QLineEdit*>("sweepSteps")->setText("100,200,400,800,1600");
    window.findChild<QLineEdit*>("sweepSeed")->setText("7");
    scaling->runSweep();
  });
  window.findChild<QPushButton*>("SimRun")->click();
}

}  // namespace

int main(int argc, char* argv[]) {
  if (!displayAvailable()) {
    std::fprintf(stderr,
                 "polychain-gui: no display found (neither DISPLAY nor WAYLAND_DISPLAY is "
                 "set). Use the command-line tool instead, for example:\n"
                 "  polychain run --model meander --steps 1000 --iterations 100\n");
    return EXIT_FAILURE;
  }
  QApplication app(argc, argv);
  QApplication::setApplicationName("polychain");

  QCommandLineParser parser;
  parser.addHelpOption();
  QCommandLineOption screenshot("screenshot", "Run a small walk and save the window.", "file");
  QCommandLineOption size("size", "The window's size for the screenshot.", "WxH");
  QCommandLineOption model("model", "meander or saw, for the screenshot.", "model");
  QCommandLineOption tab("tab", "The tab the screenshot shows.", "name");
  for (QCommandLineOption* option : {&screenshot, &size, &model, &tab}) {
    option->setFlags(QCommandLineOption::HiddenFromHelp);
    parser.addOption(*option);
  }
  parser.process(app);

  polychain::Form1 window;
  if (parser.isSet(size)) {
    const QStringList wh = parser.value(size).split('x');
    if (wh.size() == 2) window.resize(wh[0].toInt(), wh[1].toInt());
  }
  window.show();
  if (parser.isSet(screenshot)) {
    const Screenshot shot{parser.value(screenshot), parser.values(tab),
                          parser.value(model) == "saw"};
    QTimer::singleShot(0, &window, [&window, shot] { takeScreenshot(window, shot); });
  }
  return QApplication::exec();
}
