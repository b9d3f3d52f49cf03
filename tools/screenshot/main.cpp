// polychain-screenshot: takes a picture of the window for the documentation (see
// scripts/screenshot.sh).
//   polychain-screenshot FILE [--size WxH] [--model saw|melt] [--tab NAME]...
#include <QApplication>
#include <QCommandLineParser>
#include <QTimer>
#include <cstdio>
#include <cstdlib>

#include "gui/form1.h"
#include "screenshot.h"

int main(int argc, char* argv[]) {
  QApplication app(argc, argv);
  QApplication::setApplicationName("polychain");
  QCommandLineParser parser;
  parser.setApplicationDescription(
      "Makes a small run with a fixed seed in the window and saves a picture of it.");
  parser.addHelpOption();
  parser.addPositionalArgument("file", "The PNG file to write.");
  const QCommandLineOption size("size", "The window's size.", "WxH");
  const QCommandLineOption model("model", "meander (the default), saw or melt.", "model");
  const QCommandLineOption tab("tab", "A tab to show; named twice or more, side by side.", "name");
  parser.addOptions({size, model, tab});
  parser.process(app);
  if (parser.positionalArguments().size() != 1) {
    std::fprintf(stderr, "polychain-screenshot: name one PNG file to write\n");
    return EXIT_FAILURE;
  }
  const QString modelName = parser.value(model);
  const QString option = modelName == "saw" ? "SAWOPT" : modelName == "melt" ? "melt" : "RLOPT";
  if (!modelName.isEmpty() && modelName != "meander" && option == "RLOPT") {
    std::fprintf(stderr, "polychain-screenshot: --model must be meander, saw or melt, not %s\n",
                 qPrintable(modelName));
    return EXIT_FAILURE;
  }

  polychain::Form1 window;
  if (parser.isSet(size)) {
    const QStringList wh = parser.value(size).split('x');
    bool wide = false, tall = false;
    const int width = wh.size() == 2 ? wh[0].toInt(&wide) : 0;
    const int height = wh.size() == 2 ? wh[1].toInt(&tall) : 0;
    if (!wide || !tall || width < 1 || height < 1) {
      std::fprintf(stderr, "polychain-screenshot: --size must be WxH, such as 800x600\n");
      return EXIT_FAILURE;
    }
    window.resize(width, height);
  }
  window.show();
  const polychain::Screenshot shot{parser.positionalArguments().front(), parser.values(tab),
                                   option};
  QTimer::singleShot(0, &window, [&window, shot] {
    polychain::takeScreenshot(window, shot, [](bool saved) { QApplication::exit(saved ? 0 : 1); });
  });
  return QApplication::exec();
}
