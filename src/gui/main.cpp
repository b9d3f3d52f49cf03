// polychain-gui: the desktop window.
//
// Hidden option for the documentation: --screenshot FILE opens the window, makes a small
// free-walk run with a fixed seed, saves a picture of the window to FILE (PNG) and exits.
#include <QApplication>
#include <QCheckBox>
#include <QCommandLineParser>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>
#include <cstdio>
#include <cstdlib>

#include "gui/form1.h"

namespace {

bool displayAvailable() {
#if defined(Q_OS_LINUX) || defined(Q_OS_FREEBSD)
  if (!qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) return true;
  return !qEnvironmentVariableIsEmpty("DISPLAY") || !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
#else
  return true;
#endif
}

void takeScreenshot(polychain::Form1& window, const QString& file) {
  window.findChild<QRadioButton*>("RLOPT")->setChecked(true);
  window.findChild<QLineEdit*>("StepNum")->setText("1000");
  window.findChild<QLineEdit*>("Iterations")->setText("50");
  window.findChild<QLineEdit*>("Seed")->setText("20240611");
  window.findChild<QCheckBox*>("CalcParCF")->setChecked(true);
  QObject::connect(&window, &polychain::Form1::runEnded, &window, [&window, file] {
    // Let the last updates paint before the picture is taken.
    QTimer::singleShot(200, &window, [&window, file] {
      const bool saved = window.picture().save(file, "PNG");
      if (!saved) std::fprintf(stderr, "polychain-gui: could not save %s\n", qPrintable(file));
      QApplication::exit(saved ? 0 : 1);
    });
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
  QCommandLineOption screenshot("screenshot", "Run a small free walk and save the window.", "file");
  screenshot.setFlags(QCommandLineOption::HiddenFromHelp);
  parser.addOption(screenshot);
  parser.process(app);

  polychain::Form1 window;
  window.show();
  if (parser.isSet(screenshot)) {
    const QString file = parser.value(screenshot);
    QTimer::singleShot(0, &window, [&window, file] { takeScreenshot(window, file); });
  }
  return QApplication::exec();
}
