#include "screenshot.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPainter>
#include <QPixmap>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>
#include <cstdio>
#include <vector>

#include "gui/form1.h"
#include "gui/plottabs.h"
#include "gui/scalingpage.h"

namespace polychain {

namespace {

// The window's child `name`, or null with a message naming it.
template <class Widget>
Widget* child(const Form1& window, const char* name) {
  auto* widget = window.findChild<Widget*>(name);
  if (widget == nullptr) std::fprintf(stderr, "screenshot: the window has no %s\n", name);
  return widget;
}

// The tab called `name`, or -1 with a message.
int tabIndex(const PlotTabs* tabs, const QString& name) {
  for (int i = 0; i < tabs->count(); ++i) {
    if (tabs->tabText(i).remove('&').compare(name, Qt::CaseInsensitive) == 0) return i;
  }
  std::fprintf(stderr, "screenshot: no tab %s\n", qPrintable(name));
  return -1;
}

// The picture: the whole window with the one tab named (or the Chain tab), or the named
// tabs side by side; null when a tab is missing.
QPixmap picture(Form1& window, const QStringList& names) {
  PlotTabs* tabs = window.plotTabs();
  if (names.size() <= 1) {
    const int index = names.isEmpty() ? 0 : tabIndex(tabs, names.front());
    if (index < 0) return {};
    tabs->setCurrentIndex(index);
    QApplication::processEvents();
    return window.picture();
  }
  std::vector<QPixmap> pages;
  for (const QString& name : names) {
    const int index = tabIndex(tabs, name);
    if (index < 0) return {};
    tabs->setCurrentIndex(index);
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

void save(Form1& window, const Screenshot& shot, const std::function<void(bool)>& done) {
  // Let the last updates paint before the picture is taken.
  QTimer::singleShot(300, &window, [&window, shot, done] {
    const QPixmap image = picture(window, shot.tabs);
    const bool saved = !image.isNull() && image.save(shot.file, "PNG");
    if (!image.isNull() && !saved) {
      std::fprintf(stderr, "screenshot: could not save %s\n", qPrintable(shot.file));
    }
    done(saved);
  });
}

}  // namespace

void takeScreenshot(Form1& window, const Screenshot& shot, std::function<void(bool)> done) {
  auto* model = window.findChild<QRadioButton*>(shot.option);
  auto* listed = window.findChild<QComboBox*>("OtherModel");
  const int listIndex = listed != nullptr ? listed->findData(shot.option) : -1;
  if (model == nullptr && listIndex < 0) {
    std::fprintf(stderr, "polychain-screenshot: the window offers no model %s\n",
                 qPrintable(shot.option));
    done(false);
    return;
  }
  auto* steps = child<QLineEdit>(window, "StepNum");
  auto* iterations = child<QLineEdit>(window, "Iterations");
  auto* seed = child<QLineEdit>(window, "Seed");
  auto* gofr = child<QCheckBox>(window, "CalcParCF");
  auto* run = child<QPushButton>(window, "SimRun");
  auto* sweepSteps = child<QLineEdit>(window, "sweepSteps");
  auto* sweepSeed = child<QLineEdit>(window, "sweepSeed");
  if (!steps || !iterations || !seed || !gofr || !run || !sweepSteps || !sweepSeed) {
    done(false);
    return;
  }
  if (model != nullptr) {
    model->setChecked(true);
  } else {
    listed->setCurrentIndex(listIndex);  // which chooses "Other model"
  }
  const bool melt = shot.option == "melt";
  steps->setText(melt ? "20" : "1000");
  iterations->setText(melt ? "5" : "50");
  seed->setText("20240611");
  gofr->setChecked(true);
  ScalingPage* scaling = window.plotTabs()->scalingPage();
  const bool sweep = shot.tabs.contains("Scaling", Qt::CaseInsensitive);
  QObject::connect(
      &window, &Form1::runEnded, &window,
      [&window, shot, done, scaling, sweep, sweepSteps, sweepSeed] {
        if (!sweep) return save(window, shot, done);
        QObject::connect(
            scaling, &ScalingPage::sweepEnded, &window,
            [&window, shot, done] { save(window, shot, done); }, Qt::SingleShotConnection);
        sweepSteps->setText("100,200,400,800,1600");
        sweepSeed->setText("7");
        scaling->runSweep();
      },
      Qt::SingleShotConnection);
  run->click();
}

}  // namespace polychain
