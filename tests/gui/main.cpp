// Runs the window's test classes: all of them, or the one named first on the command line
// (the remaining arguments go to QtTest, e.g. `test_gui Form1Test escapeCancelsTheRun`).
#include <QApplication>
#include <QDir>
#include <QTemporaryFile>
#include <cstring>
#include <vector>

#include "guitest.h"

namespace polychain::test {
std::vector<std::pair<const char*, GuiTestRunner>>& guiTestClasses() {
  static std::vector<std::pair<const char*, GuiTestRunner>> classes;
  return classes;
}
}  // namespace polychain::test

int main(int argc, char** argv) {
  // Offscreen, the window is tested on a screen of 800 x 600 (the smallest it is made for),
  // its size the size of the window's inside, without frames.
  QTemporaryFile screen(QDir::tempPath() + "/polychain-screen-XXXXXX.json");
  if (qgetenv("QT_QPA_PLATFORM") == "offscreen" && screen.open()) {
    screen.write(R"({"windowFrameMargins": false, "screens": [{"name": "800x600", "x": 0,
        "y": 0, "width": 800, "height": 600, "logicalDpi": 96, "logicalBaseDpi": 96}]})");
    screen.flush();
    qputenv("QT_QPA_PLATFORM", "offscreen:configfile=" + QFile::encodeName(screen.fileName()));
  }
  QApplication app(argc, argv);
  const char* only = argc > 1 ? argv[1] : nullptr;
  for (const auto& [name, run] : polychain::test::guiTestClasses()) {
    if (only != nullptr && std::strcmp(only, name) == 0) {
      std::vector<char*> rest(argv, argv + argc);
      rest.erase(rest.begin() + 1);
      return run(static_cast<int>(rest.size()), rest.data()) == 0 ? 0 : 1;
    }
  }
  int failed = 0;
  for (const auto& [name, run] : polychain::test::guiTestClasses()) failed += run(argc, argv);
  return failed == 0 ? 0 : 1;
}
