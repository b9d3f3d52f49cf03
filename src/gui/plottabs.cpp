#include "gui/plottabs.h"

#include <QDir>
#include <QEvent>
#include <QFileDialog>
#include <QScrollArea>
#include <QStackedWidget>
#include <QThread>
#include <QTimer>
#include <memory>

#include "gui/accessible.h"
#include "gui/chainpage.h"
#include "gui/correlationpage.h"
#include "gui/detailspage.h"
#include "gui/qtext.h"
#include "gui/scalingpage.h"
#include "polychain/texts.h"

namespace polychain {

namespace {

QString askPlotFileName(QWidget* parent, const QString& suggestedName) {
  const QString png = "PNG image (*.png)";
  const QString svg = "SVG drawing (*.svg)";
  QFileDialog dialog(parent, "Save Plot");
  dialog.setObjectName("savePlotDialog");
  dialog.setAcceptMode(QFileDialog::AcceptSave);
  dialog.setFileMode(QFileDialog::AnyFile);
  dialog.setOption(QFileDialog::DontUseNativeDialog);
  dialog.setNameFilters({png, svg});
  dialog.setDefaultSuffix("png");
  QObject::connect(&dialog, &QFileDialog::filterSelected, &dialog,
                   [&dialog, svg](const QString& filter) {
                     dialog.setDefaultSuffix(filter == svg ? "svg" : "png");
                   });
  dialog.selectFile(suggestedName);
  if (dialog.exec() != QDialog::Accepted) return {};
  return dialog.selectedFiles().value(0);
}

QScrollArea* scrolling(QWidget* page, const QString& name) {
  auto* scroll = new QScrollArea;
  scroll->setObjectName(page->objectName() + "Scroll");
  nameScrollArea(scroll, name);
  passFocusThrough(scroll);
  page->setAccessibleName(name);
  scroll->setWidget(page);
  scroll->setWidgetResizable(true);
  scroll->setFrameShape(QFrame::NoFrame);
  return scroll;
}

}  // namespace

PlotTabs::PlotTabs(InputsSource mainInputs, QWidget* parent)
    : QTabWidget(parent),
      m_chain(new ChainPage),
      m_gofr(new CorrelationPage(CorrelationPage::Kind::PairCorrelation)),
      m_gofq(new CorrelationPage(CorrelationPage::Kind::StructureFactor)),
      m_details(new DetailsPage),
      m_scaling(new ScalingPage(std::move(mainInputs))) {
  setObjectName("plotTabs");
  setAccessibleName("Plots and details");
  m_showMessage = [this](QMessageBox::Icon icon, const QString& title, const QString& text) {
    QMessageBox box(icon, title, text, QMessageBox::Ok, this);
    box.setTextFormat(Qt::PlainText);
    box.exec();
  };
  m_askSaveName = askPlotFileName;

  if (auto* pages = findChild<QStackedWidget*>()) pages->setAccessibleName(accessibleName());
  addTab(m_chain, "Chain");
  addTab(m_gofr, "g(r)");
  addTab(m_gofq, "g(q)");
  addTab(m_details, "Details");
  m_scalingArea = scrolling(m_scaling, "Scaling");
  addTab(m_scalingArea, "Scaling");
  for (int i = 0; i < 3; ++i) widget(i)->setAccessibleName(tabText(i));
  // The sweep's plot takes at least half the tab's height; the table and notes scroll
  // under it when the tab is short.
  m_scalingArea->installEventFilter(this);
  setTabToolTip(0, "The last chain, coloured from its first site to its last");
  setTabToolTip(1, "Pair correlation g(r) of the last run that computed it");
  setTabToolTip(2, "Structure factor g(q) of the last run that computed it");
  setTabToolTip(3, "Textbook chain measures of the last run, with standard errors");
  setTabToolTip(4, "How sqrt(<R²>) grows with N, and the fitted exponent");

  for (PlotPage* page : std::initializer_list<PlotPage*>{m_chain, m_gofr, m_gofq, m_scaling}) {
    connect(page, &PlotPage::saveRequested, this, [this, page] { savePlot(page); });
  }
  connect(m_scaling, &ScalingPage::messageRequested, this,
          [this](QMessageBox::Icon icon, const QString& title, const QString& text) {
            m_showMessage(icon, title, text);
          });
}

PlotTabs::~PlotTabs() {
  if (m_writer != nullptr) m_writer->wait();
}

void PlotTabs::showRun(const RunParams& params, const RunResult& result) {
  const QString description = qs(runDescription(params, result.seed));
  if (result.box) {
    m_chain->setBox(*result.box, description);
  } else {
    m_chain->setChain(result.lastSites, description);
  }
  if (result.correlation) {
    m_gofr->setValues(result.correlation->gofr, description);
    m_gofq->setValues(result.correlation->gofq, description);
  }
  m_details->setRun(description, modelOf(params.model), result.extended, result.measures);
  m_details->setEnergy(result.energy);
  m_details->setFactors(result.formFactor, result.structureFactor);
}

void PlotTabs::stopWork() {
  m_scaling->stopSweep();
  if (m_writer != nullptr) m_writer->wait();
}

bool PlotTabs::eventFilter(QObject* watched, QEvent* event) {
  if (watched == m_scalingArea && event->type() == QEvent::Resize) {
    m_scaling->setPlotMinimumHeight(m_scalingArea->height() / 2);
  }
  return QTabWidget::eventFilter(watched, event);
}

void PlotTabs::savePlot(PlotPage* page) {
  if (saving()) {
    emit statusMessage("A plot is being saved; save the next one once it is written.");
    emit plotSaveEnded();
    return;
  }
  const QString name = m_askSaveName(this, page->suggestedFileName());
  if (name.isEmpty()) {
    emit plotSaveEnded();
    return;
  }
  const QString shownName = QDir::toNativeSeparators(name);
  // The thread stands for the whole save, so that no second one starts meanwhile.
  auto error = std::make_shared<QString>();
  auto drawn = std::make_shared<PlotPage::DrawnPlot>();
  m_writer = QThread::create([drawn, error, name] { *error = PlotPage::writePlot(*drawn, name); });
  m_writer->setParent(this);
  connect(m_writer, &QThread::finished, this, [this, error, shownName] {
    m_writer->deleteLater();
    m_writer = nullptr;
    if (error->isEmpty()) {
      emit statusMessage("Saved the plot to " + shownName + ".");
    } else {
      emit statusMessage("The plot was not saved.");
      m_showMessage(QMessageBox::Warning, "Save Plot", *error);
    }
    emit plotSaveEnded();
  });
  // The message is painted before the drawing holds up the window.
  emit statusMessage("Drawing the plot for " + shownName + "…");
  QTimer::singleShot(0, this, [this, page, drawn, shownName, name] {
    *drawn = page->drawPlot(name);
    if (drawn->error.isEmpty()) emit statusMessage("Writing " + shownName + "…");
    m_writer->start();
  });
}

}  // namespace polychain
