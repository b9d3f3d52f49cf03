// Runs the window's test classes: all of them, or the one named first on the command line
// (the remaining arguments go to QtTest, e.g. `test_gui Form1Test escapeCancelsTheRun`).
#include <QApplication>
#include <cstring>
#include <vector>

int runForm1Tests(int argc, char** argv);
int runExportDialogTests(int argc, char** argv);
int runPlotsTests(int argc, char** argv);
int runScalingTests(int argc, char** argv);

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  struct TestClass {
    const char* name;
    int (*run)(int, char**);
  };
  const TestClass classes[] = {{"Form1Test", runForm1Tests},
                               {"ExportDialogTest", runExportDialogTests},
                               {"PlotsTest", runPlotsTests},
                               {"ScalingTest", runScalingTests}};
  const char* only = argc > 1 ? argv[1] : nullptr;
  for (const TestClass& c : classes) {
    if (only != nullptr && std::strcmp(only, c.name) == 0) {
      std::vector<char*> rest(argv, argv + argc);
      rest.erase(rest.begin() + 1);
      return c.run(static_cast<int>(rest.size()), rest.data()) == 0 ? 0 : 1;
    }
  }
  int failed = 0;
  for (const TestClass& c : classes) failed += c.run(argc, argv);
  return failed == 0 ? 0 : 1;
}
