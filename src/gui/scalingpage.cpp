#include "gui/scalingpage.h"

#include <QCategoryAxis>
#include <QChart>
#include <QChartView>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLegendMarker>
#include <QLineEdit>
#include <QLineSeries>
#include <QProgressBar>
#include <QPushButton>
#include <QScatterSeries>
#include <QTableWidget>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>
#include <limits>

#include "chain/numtext.h"
#include "chain/random.h"
#include "gui/detailspage.h"
#include "gui/qtext.h"
#include "gui/sweepworker.h"

namespace polychain {

namespace {

// Makes `axis` a logarithmic axis over log10 values from `low` to `high`: ticks and grid
// lines at 1, 2 and 5 times the powers of ten (finer steps when those are too few),
// labelled with the plain values.
void setLogTicks(QCategoryAxis* axis, double low, double high) {
  for (const QString& label : axis->categoriesLabels()) axis->remove(label);
  axis->setRange(low, high);
  axis->setStartValue(low);
  const auto ticks = [low, high](std::initializer_list<double> mantissas) {
    std::vector<double> values;
    for (int decade = static_cast<int>(std::floor(low)) - 1;
         decade <= static_cast<int>(std::ceil(high)); ++decade) {
      for (double m : mantissas) {
        const double v = m * std::pow(10.0, decade);
        if (std::log10(v) >= low && std::log10(v) <= high) values.push_back(v);
      }
    }
    return values;
  };
  std::vector<double> values = ticks({1.0, 2.0, 5.0});
  if (values.size() < 3) values = ticks({1.0, 1.5, 2.0, 3.0, 4.0, 5.0, 6.0, 7.0, 8.0, 9.0});
  for (double v : values) axis->append(QString::number(v, 'g', 6), std::log10(v));
}

QLineSeries* lineSeries(const QColor& colour, Qt::PenStyle style, double width) {
  auto* series = new QLineSeries;
  QPen pen(colour);
  pen.setWidthF(width);
  pen.setStyle(style);
  series->setPen(pen);
  return series;
}

constexpr QRgb kPointColour = 0xff1f77b4;

constexpr const char* kChartTitle = "Scaling of sqrt(&lt;R²&gt;) with N (log-log)";

}  // namespace

SweepParams sweepFromInputs(const Form1Inputs& main, std::string_view steps,
                            std::string_view iterations, std::string_view seed) {
  SweepParams params;
  RunParams& run = params.run;
  const std::optional<Model> model = chosenModel(main);
  if (!model) {
    throw InputError(
        "Choose the model to sweep under Parameters: Meander, SAW or Short Range (1-10).");
  }
  run.model = *model;
  params.steps = parseStepList(steps, kSweepStepsField);
  run.iterations = textToNumber(iterations, kSweepIterationsField);
  if (run.iterations < 1) {
    throw InputError(std::string(kSweepIterationsField) +
                     " must be a whole number of at least 1; " + formatInteger(run.iterations) +
                     " is too small.");
  }
  readModelSetting(main, run);
  params.seed = seedFromText(seed);
  validateSweep(params, kSweepStepsField);
  return params;
}

ScalingPage::ScalingPage(InputsSource mainInputs, QWidget* parent)
    : PlotPage("saveSweepPlot", "scaling", parent),
      m_mainInputs(std::move(mainInputs)),
      m_worker(new SweepWorker(this)),
      m_steps(new QLineEdit("100,200,400,800")),
      m_iterations(new QLineEdit("20")),
      m_seed(new QLineEdit),
      m_run(new QPushButton("Run Sweep")),
      m_cancel(new QPushButton("Cancel Sweep")),
      m_progress(new QProgressBar),
      m_status(noteLabel("sweepStatus")),
      m_exponent(noteLabel("sweepExponent")),
      m_table(new QTableWidget(0, 3)),
      m_chart(new QChart),
      m_axisX(new QCategoryAxis),
      m_axisY(new QCategoryAxis),
      m_fit(lineSeries(QColor(0xd62728), Qt::SolidLine, 1.8)),
      m_ideal(lineSeries(QColor(0x2ca02c), Qt::DashLine, 1.8)),
      m_selfAvoiding(lineSeries(QColor(0x9467bd), Qt::DashLine, 1.8)),
      m_points(new QScatterSeries) {
  setObjectName("scalingPage");
  m_worker->setObjectName("sweepWorker");

  const auto field = [](QLineEdit* box, const char* name, const QString& accessibleName) {
    box->setObjectName(name);
    box->setAccessibleName(accessibleName);
  };
  field(m_steps, "sweepSteps", qs(kSweepStepsField));
  m_steps->setPlaceholderText("100,200,400,800");
  m_steps->setToolTip("The chain lengths N to run, separated by commas");
  field(m_iterations, "sweepIterations", qs(kSweepIterationsField));
  m_iterations->setToolTip("Chains grown for each N");
  field(m_seed, "sweepSeed", "Sweep seed");
  m_seed->setPlaceholderText("from the clock");
  m_seed->setToolTip("Each N's seed is derived from this one. Empty: a new seed from the clock.");

  const auto caption = [](const QString& text, QWidget* buddy) {
    auto* label = new QLabel(text);
    label->setTextFormat(Qt::PlainText);
    label->setBuddy(buddy);
    return label;
  };
  auto* source = noteLabel("sweepModelNote");
  source->setText("The model, and its Self-Avoidance or Kuhn Length, are taken from Parameters.");
  auto* inputs = new QGridLayout;
  inputs->addWidget(caption(qs(kSweepStepsField), m_steps), 0, 0);
  inputs->addWidget(m_steps, 0, 1, 1, 3);
  inputs->addWidget(caption(qs(kSweepIterationsField), m_iterations), 1, 0);
  inputs->addWidget(m_iterations, 1, 1);
  inputs->addWidget(caption("Seed", m_seed), 1, 2);
  inputs->addWidget(m_seed, 1, 3);
  inputs->setColumnStretch(1, 1);
  inputs->setColumnStretch(3, 2);

  m_run->setObjectName("runSweep");
  m_run->setAccessibleName(m_run->text());
  m_cancel->setObjectName("cancelSweep");
  m_cancel->setAccessibleName(m_cancel->text());
  m_cancel->setEnabled(false);
  m_progress->setObjectName("sweepProgress");
  m_progress->setAccessibleName("Share of the sweep done");
  m_progress->setRange(0, 100);
  QSizePolicy policy = m_progress->sizePolicy();
  policy.setRetainSizeWhenHidden(true);
  m_progress->setSizePolicy(policy);
  m_progress->hide();
  auto* buttons = new QHBoxLayout;
  buttons->addWidget(m_run);
  buttons->addWidget(m_cancel);
  buttons->addWidget(m_progress, 1);

  m_chart->legend()->setAlignment(Qt::AlignBottom);
  m_view = makeChartView(m_chart, "sweepChart", "Log-log plot of sqrt(<R²>) against N");
  // Everything is drawn on log10 values; the axes label them with the plain values.
  // Chart texts are read as rich text, hence the escaped brackets.
  for (QCategoryAxis* axis : {m_axisX, m_axisY}) {
    axis->setLabelsPosition(QCategoryAxis::AxisLabelsPositionOnValue);
  }
  m_axisX->setTitleText("N (steps)");
  m_axisY->setTitleText("sqrt(&lt;R²&gt;)");
  m_chart->addAxis(m_axisX, Qt::AlignBottom);
  m_chart->addAxis(m_axisY, Qt::AlignLeft);
  m_fit->setName("fit");
  m_ideal->setName(QString("ideal: ν = %1").arg(kIdealChainExponent));
  m_selfAvoiding->setName(QString("SAW: ν = %1").arg(kSelfAvoidingExponent));
  m_points->setName("runs ± 1 s.e.");
  m_points->setMarkerSize(9.0);
  m_points->setColor(QColor(kPointColour));
  m_points->setBorderColor(QColor(kPointColour));
  for (QXYSeries* series :
       std::initializer_list<QXYSeries*>{m_fit, m_ideal, m_selfAvoiding, m_points}) {
    addSeries(series, true);
  }
  m_exponent->setAccessibleName("Fitted exponent");
  m_exponent->setTextInteractionFlags(Qt::TextSelectableByMouse);
  auto* references = noteLabel("sweepReferences");
  references->setText(QString("For reference: ideal chain ν = %1; self-avoiding walk on the "
                              "cubic lattice ν = %2.")
                          .arg(kIdealChainExponent)
                          .arg(kSelfAvoidingExponent));

  m_table->setObjectName("sweepPoints");
  m_table->setAccessibleName("Sweep points: N, seed and sqrt(<R²>)");
  m_table->setHorizontalHeaderLabels({"N", "Seed", "sqrt(<R²>)"});
  m_table->verticalHeader()->hide();
  m_table->horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
  m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
  m_table->verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 6);
  m_table->setMinimumHeight(5 * (fontMetrics().height() + 6));

  auto* top = new QVBoxLayout;
  top->addWidget(source);
  top->addLayout(inputs);
  top->addLayout(buttons);
  top->addWidget(m_status);
  body()->insertLayout(0, top);
  body()->insertWidget(1, m_view, 3);
  body()->insertWidget(2, m_exponent);
  body()->insertWidget(3, references);
  body()->insertWidget(4, m_table, 1);

  connect(m_run, &QPushButton::clicked, this, &ScalingPage::runSweep);
  connect(m_cancel, &QPushButton::clicked, this, &ScalingPage::cancelSweep);
  connect(m_worker, &SweepWorker::progressed, this, [this](float percent) {
    if (m_running) m_progress->setValue(static_cast<int>(std::lround(percent)));
  });
  connect(m_worker, &SweepWorker::stepCountStarted, this, &ScalingPage::onStepCountStarted);
  connect(m_worker, &SweepWorker::stepCountFinished, this, &ScalingPage::onStepCountFinished);
  connect(m_worker, &SweepWorker::chainTrapped, this, [this](qint64 chain, qint64 trials) {
    if (!m_running) return;
    m_status->setText(QString("Chain %1 has made %2 trials without growing longer and may be "
                              "trapped; Cancel Sweep stops the sweep.")
                          .arg(chain + 1)
                          .arg(trials));
  });
  connect(m_worker, &SweepWorker::messageRaised, this,
          [this](const QString& title, const QString& text) {
            emit messageRequested(QMessageBox::NoIcon, title, text);
          });
  connect(m_worker, &SweepWorker::finished, this, &ScalingPage::onFinished);
  connect(m_worker, &SweepWorker::failed, this, &ScalingPage::onFailed);

  setTabOrder(m_steps, m_iterations);
  setTabOrder(m_iterations, m_seed);
  setTabOrder(m_seed, m_run);
  setTabOrder(m_run, m_cancel);
  drawSweep(SweepOutput{});
}

ScalingPage::~ScalingPage() { stopSweep(); }

bool ScalingPage::sweepInProgress() const { return m_running; }

void ScalingPage::stopSweep() {
  m_worker->cancel();
  m_worker->wait();
}

void ScalingPage::runSweep() {
  if (m_running) return;
  try {
    m_params = sweepFromInputs(m_mainInputs(), utf8(m_steps->text()), utf8(m_iterations->text()),
                               utf8(m_seed->text()));
  } catch (const InputError& error) {
    emit messageRequested(QMessageBox::Warning, "Scaling Sweep", QString::fromUtf8(error.what()));
    return;
  }
  if (!m_params.seed) m_params.seed = clockSeed();
  if (!m_worker->start(m_params)) return;
  m_table->setRowCount(0);
  m_exponent->clear();
  m_progress->setValue(0);
  m_progress->show();
  QStringList counts;
  for (std::int32_t n : m_params.steps) counts << QString::number(n);
  m_status->setText(QString("Sweeping %1 over N = %2 with seed %3…")
                        .arg(qs(modelTitle(m_params.run.model)), counts.join(", "))
                        .arg(*m_params.seed));
  setRunning(true);
  emit sweepStarted();
}

void ScalingPage::cancelSweep() {
  if (!m_running) return;
  m_worker->cancel();
  m_status->setText("Cancelling…");
}

void ScalingPage::setRunning(bool running) {
  m_running = running;
  m_run->setEnabled(!running);
  m_cancel->setEnabled(running);
}

void ScalingPage::onStepCountStarted(int index, int steps, quint64 seed) {
  if (!m_running) return;
  m_table->setRowCount(std::max(m_table->rowCount(), index + 1));
  m_table->setItem(index, 0, new QTableWidgetItem(QString::number(steps)));
  m_table->setItem(index, 1, new QTableWidgetItem(QString::number(seed)));
  m_table->setItem(index, 2, new QTableWidgetItem("running…"));
  m_status->setText(QString("N = %1 (%2 of %3), seed %4…")
                        .arg(steps)
                        .arg(index + 1)
                        .arg(m_params.steps.size())
                        .arg(seed));
}

void ScalingPage::onStepCountFinished(int index, double rms, double rmsError) {
  if (index >= m_table->rowCount()) return;
  m_table->setItem(index, 2, new QTableWidgetItem(estimateDisplay({rms, rmsError})));
}

void ScalingPage::onFinished() {
  m_worker->wait();
  SweepOutput output = m_worker->takeOutput();
  m_progress->hide();
  setRunning(false);
  // Rows of a step count that never finished say so.
  for (int row = static_cast<int>(output.points.size()); row < m_table->rowCount(); ++row) {
    m_table->setItem(row, 2, new QTableWidgetItem("not finished"));
  }
  switch (output.status) {
    case RunStatus::Finished:
      m_status->setText(QString("Sweep finished: %1 step counts, seed %2.")
                            .arg(output.points.size())
                            .arg(output.seed));
      break;
    case RunStatus::Cancelled:
    case RunStatus::TrialLimit:
      m_status->setText(qs(output.message));
      break;
  }
  if (output.fit) {
    const PowerLawFit& fit = *output.fit;
    QString how = fit.weighted ? QString("weighted least squares over %1 N").arg(fit.points)
                               : QString("least squares over %1 N").arg(fit.points);
    if (std::isfinite(fit.chiSquaredPerDof)) {
      how += QString(", χ²/dof = %1").arg(fit.chiSquaredPerDof, 0, 'g', 3);
    }
    m_exponent->setText("ν = " + estimateDisplay({fit.exponent, fit.exponentError}) + " (" + how +
                        ")");
  } else if (output.status == RunStatus::Finished) {
    m_exponent->setText("ν could not be fitted to these points.");
  }
  drawSweep(output);
  m_last = std::move(output);
  emit sweepEnded();
}

void ScalingPage::onFailed(const QString& reason) {
  m_worker->wait();
  m_progress->hide();
  setRunning(false);
  m_status->setText("The sweep did not take place.");
  emit messageRequested(QMessageBox::Warning, "Scaling Sweep", reason);
  emit sweepEnded();
}

void ScalingPage::addSeries(QXYSeries* series, bool inLegend) {
  m_chart->addSeries(series);
  series->attachAxis(m_axisX);
  series->attachAxis(m_axisY);
  for (QLegendMarker* marker : m_chart->legend()->markers(series)) marker->setVisible(inLegend);
}

void ScalingPage::drawSweep(const SweepOutput& sweep) {
  std::vector<double> lx, ly, lo, hi;
  for (const SweepPoint& p : sweep.points) {
    const double y = p.stats.rmsEnd.value;
    if (!(y > 0.0)) continue;
    const double e = p.stats.rmsEnd.hasError() ? p.stats.rmsEnd.standardError : 0.0;
    lx.push_back(std::log10(static_cast<double>(p.steps)));
    ly.push_back(std::log10(y));
    hi.push_back(std::log10(y + e));
    lo.push_back(std::log10(std::max(y - e, y * 0.01)));
  }
  double xLow = 1.0, xHigh = 3.0;
  if (!lx.empty()) {
    const auto [minX, maxX] = std::minmax_element(lx.begin(), lx.end());
    const double pad = std::max(0.08, (*maxX - *minX) * 0.08);
    xLow = *minX - pad;
    xHigh = *maxX + pad;
  }
  double yLow = std::numeric_limits<double>::infinity();
  double yHigh = -yLow;
  const auto cover = [&](double y) {
    yLow = std::min(yLow, y);
    yHigh = std::max(yHigh, y);
  };

  QList<QPointF> points;
  for (std::size_t i = 0; i < lx.size(); ++i) {
    points.append(QPointF(lx[i], ly[i]));
    cover(lo[i]);
    cover(hi[i]);
  }
  while (m_bars.size() < lx.size()) {
    m_bars.push_back(lineSeries(QColor(kPointColour), Qt::SolidLine, 1.3));
    addSeries(m_bars.back(), false);
  }
  const double cap = (xHigh - xLow) * 0.012;
  for (std::size_t i = 0; i < m_bars.size(); ++i) {
    QList<QPointF> bar;
    if (i < lx.size() && hi[i] > lo[i]) {
      // Lower cap, the bar itself, upper cap: one polyline.
      bar = {QPointF(lx[i] - cap, lo[i]), QPointF(lx[i] + cap, lo[i]), QPointF(lx[i], lo[i]),
             QPointF(lx[i], hi[i]),       QPointF(lx[i] - cap, hi[i]), QPointF(lx[i] + cap, hi[i])};
    }
    m_bars[i]->replace(bar);
  }

  // The reference slopes pass through the fitted line (or the points' centre) at the
  // middle of the N range on the log scale, so the slopes compare at a glance.
  const auto line = [&](QLineSeries* series, double centreX, double centreY, double slope) {
    const QPointF from(xLow, centreY + slope * (xLow - centreX));
    const QPointF to(xHigh, centreY + slope * (xHigh - centreX));
    series->replace({from, to});
    cover(from.y());
    cover(to.y());
  };
  const bool drawn = !lx.empty();
  const bool fitted = drawn && sweep.fit.has_value();
  for (QLineSeries* series : {m_fit, m_ideal, m_selfAvoiding}) series->clear();
  if (drawn) {
    double centreX = 0.0, centreY = 0.0;
    for (std::size_t i = 0; i < lx.size(); ++i) {
      centreX += lx[i];
      centreY += ly[i];
    }
    centreX /= static_cast<double>(lx.size());
    centreY /= static_cast<double>(lx.size());
    if (fitted) {
      const PowerLawFit& fit = *sweep.fit;
      centreY = std::log10(fit.amplitude) + fit.exponent * centreX;
      m_fit->setName(QString("fit: ν = %1").arg(fit.exponent, 0, 'f', 3));
      line(m_fit, centreX, centreY, fit.exponent);
    }
    line(m_ideal, centreX, centreY, kIdealChainExponent);
    line(m_selfAvoiding, centreX, centreY, kSelfAvoidingExponent);
  }
  m_points->replace(points);
  for (QLegendMarker* marker : m_chart->legend()->markers(m_fit)) marker->setVisible(fitted);

  if (!(yHigh > yLow)) {
    yLow = 0.0;
    yHigh = 2.0;
  }
  const double yPad = std::max(0.04, (yHigh - yLow) * 0.06);
  setLogTicks(m_axisX, xLow, xHigh);
  setLogTicks(m_axisY, yLow - yPad, yHigh + yPad);
  m_chart->legend()->setVisible(drawn);
  m_chart->setTitle(drawn ? kChartTitle + QString(": ") + qs(modelTitle(m_params.run.model))
                          : QString(kChartTitle));
}

void ScalingPage::paintPlot(QPainter& painter, const QRect& target) {
  renderChartView(m_view, painter, target);
}

QSize ScalingPage::plotSize() const { return chartViewSize(m_view); }

}  // namespace polychain
