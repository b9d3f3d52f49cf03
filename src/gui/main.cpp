// polychain-gui: the desktop window. (Its pictures in the README come from
// tools/screenshot.)
#include <QApplication>
#include <QCommandLineParser>
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
  parser.process(app);

  polychain::Form1 window;
  window.show();
  return QApplication::exec();
}
