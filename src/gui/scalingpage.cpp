#include "gui/scalingpage.h"

#include <optional>

#include <QCategoryAxis>
#include <QChart>
#include <QChartView>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLegend>
#include <QLegendMarker>
#include <QLineEdit>
#include <QLineSeries>
#include <QProgressBar>
#include <QPushButton>
#include <QScatterSeries>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>
#include <limits>

#include "gui/accessible.h"
#include "gui/detailspage.h"
#include "gui/qtext.h"
#include "gui/simulationworker.h"
#include "polychain/params.h"
#include "polychain/texts.h"
#include "window/windowtexts.h"

namespace polychain {

namespace {

constexpr std::string_view kSweepModelNote =
    "The model and its settings are taken from Parameters; a real setting given as a list, "
    "such as the contact energy -0.22,-0.269,-0.32, is swept value by value.";

// Makes `axis` a logarithmic axis over `log`'s range, with grid lines and labels at its ticks.
void setLogTicks(QCategoryAxis* axis, const LogAxis& log) {
  for (const QString& label : axis->categoriesLabels()) axis->remove(label);
  axis->setRange(log.low, log.high);
  axis->setStartValue(log.low);
  for (double v : log.ticks) axis->append(QString::number(v, 'g', 6), std::log10(v));
}

// A plot text as the window shows it: nu as ν, squares as superscripts, +/- as ±.
QString display(const std::string& text) {
  return qs(text).replace("nu =", "ν =").replace("^2", "²").replace("+/-", "±");
}

// A legend entry as the window shows it, short enough for a small window: the notes under
// the plot give the fitted exponent and name the reference slopes.
QString legendEntry(const std::string& text) {
  const QString label = display(text);
  if (label.startsWith("runs")) return "runs";
  if (label.startsWith("fit")) return "fit";
  return label.section(": ", -1);  // a reference slope, by its exponent
}

QLineSeries* lineSeries(const QColor& colour, Qt::PenStyle style, double width) {
  auto* series = new QLineSeries;
  QPen pen(colour);
  pen.setWidthF(width);
  pen.setStyle(style);
  series->setPen(pen);
  return series;
}

}  // namespace

ScalingPage::ScalingPage(InputsSource mainInputs, QWidget* parent)
    : PlotPage("saveSweepPlot", "scaling", parent),
      m_mainInputs(std::move(mainInputs)),
      m_worker(new SimulationWorker(this)),
      m_steps(new QLineEdit("100,200,400,800")),
      m_iterations(new QLineEdit("20")),
      m_seed(new QLineEdit),
      m_run(new QPushButton("Run Sweep")),
      m_cancel(new QPushButton("Cancel Sweep")),
      m_progress(new QProgressBar),
      m_status(reportLabel("sweepStatus", "Sweep status")),
      m_exponent(reportLabel("sweepExponent", "Fitted exponent")),
      m_table(new QTreeWidget),
      m_chart(new QChart),
      m_axisX(new QCategoryAxis),
      m_axisY(new QCategoryAxis),
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
  m_run->setToolTip(qs(kSweepModelNote));
  m_cancel->setObjectName("cancelSweep");
  m_cancel->setAccessibleName(m_cancel->text());
  m_cancel->setEnabled(false);
  m_progress->setObjectName("sweepProgress");
  m_progress->setAccessibleName("Share of the sweep done");
  m_progress->setRange(0, 100);
  m_progress->setMinimumWidth(m_progress->fontMetrics().horizontalAdvance("100%") + 8);
  QSizePolicy policy = m_progress->sizePolicy();
  policy.setRetainSizeWhenHidden(true);
  m_progress->setSizePolicy(policy);
  m_progress->hide();
  // The sweep's buttons and progress in the row that ends in "Save Plot…".
  controlRow()->insertWidget(0, m_run);
  controlRow()->insertWidget(1, m_cancel);
  controlRow()->insertWidget(2, m_progress, 1);

  m_chart->legend()->setAlignment(Qt::AlignBottom);
  m_chart->legend()->setShowToolTips(true);
  m_view = makeChartView(m_chart, "sweepChart", "Log-log plot of sqrt(<R²>) against N");
  // Everything is drawn on log10 values; the axes label them with the plain values.
  // Chart texts are read as rich text, hence the escaped brackets.
  for (QCategoryAxis* axis : {m_axisX, m_axisY}) {
    axis->setLabelsPosition(QCategoryAxis::AxisLabelsPositionOnValue);
  }
  m_chart->addAxis(m_axisX, Qt::AlignBottom);
  m_chart->addAxis(m_axisY, Qt::AlignLeft);
  m_points->setMarkerSize(9.0);
  m_points->setColor(QColor(kPointColour));
  m_points->setBorderColor(QColor(kPointColour));
  addSeries(m_points, true);
  m_status->setWordWrap(true);
  setReport(m_status, "No sweep yet. " + qs(kSweepModelNote));
  m_exponent->setWordWrap(true);
  m_exponent->setTextInteractionFlags(Qt::TextSelectableByMouse);
  auto* references = noteLabel("sweepReferences");
  references->setText(QString("Reference ν: ideal chain %1, self-avoiding walk %2.")
                          .arg(kIdealChainExponent)
                          .arg(kSelfAvoidingExponent));

  // A list with columns rather than a table: every part of it has a name for screen readers.
  m_table->setObjectName("sweepPoints");
  m_table->setRootIsDecorated(false);
  m_table->setUniformRowHeights(true);
  setColumns(false);
  // The header and two rows at least; more rows scroll inside the list.
  new QTreeWidgetItem(m_table, QStringList{"0", "0", "0"});
  const int rowHeight = m_table->sizeHintForRow(0);
  delete m_table->takeTopLevelItem(0);
  m_table->setMinimumHeight(m_table->header()->sizeHint().height() + 2 * rowHeight +
                            2 * m_table->frameWidth());
  // The tab scrolls the page only when it is too short for every part at its least height:
  // the plot and the list ask for no more than that, and share what the tab has beyond it.
  m_table->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Ignored);
  m_view->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Ignored);

  // Top to bottom in one column, as the Tab key goes: the fields, the row of buttons, the
  // sweep's state, the plot, what was fitted to it, and the points.
  body()->removeItem(controlRow());
  controlRow()->setParent(nullptr);
  auto* top = new QVBoxLayout;
  top->addLayout(inputs);
  top->addLayout(controlRow());
  top->addWidget(m_status);
  body()->addLayout(top);
  body()->addWidget(m_view, 3);
  body()->addWidget(m_exponent);
  body()->addWidget(references);
  body()->addWidget(m_table, 1);

  connect(m_run, &QPushButton::clicked, this, &ScalingPage::runSweep);
  connect(m_cancel, &QPushButton::clicked, this, &ScalingPage::cancelSweep);
  connect(m_worker, &SimulationWorker::progressed, this, [this](float percent) {
    if (!m_running || m_plan.empty()) return;
    const double share =
        (100.0 * static_cast<double>(m_current) + percent) / static_cast<double>(m_plan.size());
    m_progress->setValue(static_cast<int>(std::lround(share)));
  });
  connect(m_worker, &SimulationWorker::stepCountStarted, this, &ScalingPage::onStepCountStarted);
  connect(m_worker, &SimulationWorker::stepCountFinished, this, &ScalingPage::onStepCountFinished);
  connect(m_worker, &SimulationWorker::chainTrapped, this, [this](qint64 chain, qint64 trials) {
    if (!m_running) return;
    const RunParams& run = m_params.run;
    setReport(m_status, qs(trappedNotice(chain, run.iterations, trials, run.restartTrapped)) +
                            " Cancel Sweep stops the sweep.");
  });
  connect(m_worker, &SimulationWorker::finished, this, &ScalingPage::onFinished);
  connect(m_worker, &SimulationWorker::failed, this, &ScalingPage::onFailed);

  m_view->setFocusPolicy(Qt::NoFocus);  // the plot takes no keys
  setTabOrder(m_steps, m_iterations);
  setTabOrder(m_iterations, m_seed);
  setTabOrder(m_seed, m_run);
  setTabOrder(m_run, m_cancel);
  setTabOrder(m_cancel, saveButton());
  setTabOrder(saveButton(), m_table);
  drawPlot(sweepPlot(SweepResult{}, modelOf(m_params.run.model)));
}

ScalingPage::~ScalingPage() { stopSweep(); }

bool ScalingPage::sweepInProgress() const { return m_running; }

void ScalingPage::stopSweep() {
  m_worker->cancel();
  m_worker->wait();
}

void ScalingPage::runSweep() {
  if (m_running) return;
  SweepPlan plan;
  try {
    plan = planSweep(m_mainInputs(), utf8(m_steps->text()), utf8(m_iterations->text()),
                     utf8(m_seed->text()));
  } catch (const InputError& error) {
    emit messageRequested(QMessageBox::Warning, "Scaling Sweep", QString::fromUtf8(error.what()));
    return;
  }
  const std::uint64_t seed = plan.sweeps.front().params().seed.value_or(clockSeed());
  const std::size_t counts = plan.sweeps.front().params().steps.size();
  for (std::size_t v = 0; v < plan.sweeps.size(); ++v) {
    plan.sweeps[v] = plan.sweeps[v].seeded(sweepSeriesSeed(seed, v, counts));
  }
  if (!m_worker->startSweep(plan.sweeps.front())) return;
  m_plan = std::move(plan.sweeps);
  m_varied = std::move(plan.varied);
  m_series.clear();
  m_current = 0;
  m_params = m_plan.front().params();
  m_table->clear();
  setColumns(m_varied.has_value());
  setReport(m_exponent, QString());
  m_progress->setValue(0);
  m_progress->show();
  QStringList steps;
  for (std::int32_t n : m_params.steps) steps << QString::number(n);
  QString values;
  if (m_varied) {
    QStringList list;
    for (std::size_t v = 0; v < m_varied->values.size(); ++v) list << valueText(v);
    values = QString(" for %1 = %2").arg(qs(m_varied->setting->field), list.join(", "));
  }
  setReport(m_status, QString("Sweeping %1 over N = %2%3 with seed %4…")
                          .arg(qs(modelOf(m_params.run.model).title), steps.join(", "), values)
                          .arg(seed));
  setRunning(true);
  emit sweepStarted();
}

void ScalingPage::setColumns(bool series) {
  QStringList labels{"N", "Seed", "sqrt(<R²>)"};
  QString name = "Sweep points: N, seed and sqrt(<R²>)";
  if (series) {
    labels.prepend(qs(m_varied->setting->field));
    name = QString("Sweep points: %1, N, seed and sqrt(<R²>)")
               .arg(qs(m_varied->setting->field).toLower());
  }
  m_table->setHeaderLabels(labels);
  nameScrollArea(m_table, name);
  // N and the estimate as wide as they need, the seed (up to 20 digits) the rest.
  m_table->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
  m_table->header()->setSectionResizeMode(series ? 2 : 1, QHeaderView::Stretch);
  m_table->header()->setStretchLastSection(false);
}

QString ScalingPage::valueText(std::size_t index) const {
  return qs(settingText(*m_varied->setting, SettingValue{m_varied->values.at(index)}));
}

int ScalingPage::row(int index) const {
  return static_cast<int>(m_current * m_params.steps.size()) + index;
}

void ScalingPage::cancelSweep() {
  if (!m_running) return;
  m_worker->cancel();
  setReport(m_status, "Cancelling…");
}

void ScalingPage::setRunning(bool running) {
  m_running = running;
  m_run->setEnabled(!running);
  m_cancel->setEnabled(running);
}

void ScalingPage::onStepCountStarted(int index, int steps, quint64 seed) {
  if (!m_running) return;
  const int at = row(index);
  const int c = firstColumn();
  while (m_table->topLevelItemCount() <= at) m_table->addTopLevelItem(new QTreeWidgetItem);
  QTreeWidgetItem* item = m_table->topLevelItem(at);
  QString value;
  if (m_varied) {
    item->setText(0, valueText(m_current));
    value = QString("%1 = %2 (%3 of %4): ")
                .arg(qs(m_varied->setting->field), item->text(0))
                .arg(m_current + 1)
                .arg(m_plan.size());
  }
  item->setText(c, QString::number(steps));
  item->setText(c + 1, QString::number(seed));
  item->setText(c + 2, "running…");
  setReport(m_status, QString("%1N = %2 (%3 of %4), seed %5…")
                          .arg(value)
                          .arg(steps)
                          .arg(index + 1)
                          .arg(m_params.steps.size())
                          .arg(seed));
}

void ScalingPage::onStepCountFinished(int index, double rms, double rmsError) {
  if (row(index) >= m_table->topLevelItemCount()) return;
  m_table->topLevelItem(row(index))->setText(firstColumn() + 2, estimateDisplay({rms, rmsError}));
}

void ScalingPage::onFinished() {
  m_worker->wait();
  SweepResult output = m_worker->takeSweep();
  if (m_varied) {
    m_series.push_back(output);
    // The next value's sweep, until one stops or all have finished.
    if (output.status == RunStatus::Finished && m_current + 1 < m_plan.size() &&
        m_worker->startSweep(m_plan[m_current + 1])) {
      ++m_current;
      m_params = m_plan[m_current].params();
      return;
    }
  }
  finishSweeps(output);
}

void ScalingPage::finishSweeps(const SweepResult& last) {
  SweepResult output = last;
  m_progress->hide();
  setRunning(false);
  // Rows of a step count that never finished say so.
  for (int at = row(static_cast<int>(output.points.size())); at < m_table->topLevelItemCount();
       ++at) {
    m_table->topLevelItem(at)->setText(firstColumn() + 2, "not finished");
  }
  QString value;
  if (m_varied) {
    value = QString("%1 = %2: ").arg(qs(m_varied->setting->field), valueText(m_current));
  }
  switch (output.status) {
    case RunStatus::Finished:
      setReport(m_status,
                m_varied ? QString("Sweep finished: %1 values of %2, %3 step counts each, seed %4.")
                               .arg(m_series.size())
                               .arg(qs(m_varied->setting->field))
                               .arg(output.points.size())
                               .arg(*m_plan.front().params().seed)
                         : QString("Sweep finished: %1 step counts, seed %2.")
                               .arg(output.points.size())
                               .arg(output.seed));
      break;
    case RunStatus::Cancelled:
    case RunStatus::TrialLimit:
    case RunStatus::OutOfMemory:
      setReport(m_status, value + qs(sweepStopMessage(m_params, output)));
      break;
  }
  if (m_varied) {
    // Each value's fitted exponent; the plot shows <R^2>/N, flat where the chain is ideal.
    QStringList fits;
    for (std::size_t v = 0; v < m_series.size(); ++v) {
      const std::optional<PowerLawFit>& fit = m_series[v].fit;
      fits << QString("%1: ν = %2")
                  .arg(valueText(v),
                       fit ? estimateDisplay({fit->exponent, fit->exponentError}) : "none");
    }
    setReport(m_exponent, qs(m_varied->setting->field) + " " + fits.join("; "));
    drawPlot(sweepSeriesPlot(*m_varied, m_series, modelOf(m_params.run.model)));
    m_last = std::move(output);
    emit sweepEnded();
    return;
  }
  if (output.fit) {
    const PowerLawFit& fit = *output.fit;
    QString how = fit.weighted ? QString("weighted least squares over %1 N").arg(fit.points)
                               : QString("least squares over %1 N").arg(fit.points);
    if (std::isfinite(fit.chiSquaredPerDof)) {
      how += QString(", χ²/dof = %1").arg(fit.chiSquaredPerDof, 0, 'g', 3);
    }
    QString text = "ν = " + estimateDisplay({fit.exponent, fit.exponentError}) + " (" + how + ")";
    if (output.correctedR2) {
      const CorrectedFit& c = *output.correctedR2;
      text += QString("; with the correction N^-%1: ν = ").arg(c.delta, 0, 'g', 4) +
              estimateDisplay({c.exponent, c.exponentError}) +
              QString(" (N ≥ %1, χ²/dof = %2)")
                  .arg(c.fromSteps, 0, 'g', 10)
                  .arg(c.chiSquaredPerDof, 0, 'g', 3);
    }
    setReport(m_exponent, text);
  } else if (output.status == RunStatus::Finished) {
    setReport(m_exponent, "ν could not be fitted to these points.");
  }
  drawPlot(sweepPlot(output, modelOf(m_params.run.model)));
  m_last = std::move(output);
  emit sweepEnded();
}

void ScalingPage::onFailed(const QString& reason) {
  m_worker->wait();
  m_progress->hide();
  setRunning(false);
  setReport(m_status, "The sweep did not take place.");
  emit messageRequested(QMessageBox::Warning, "Scaling Sweep", reason);
  emit sweepEnded();
}

void ScalingPage::addSeries(QXYSeries* series, bool inLegend) {
  m_chart->addSeries(series);
  series->attachAxis(m_axisX);
  series->attachAxis(m_axisY);
  for (QLegendMarker* marker : m_chart->legend()->markers(series)) marker->setVisible(inLegend);
}

void ScalingPage::drawPlot(const LogLogPlot& plot) {
  // Everything is drawn on log10 values; the axes label them with the plain values.
  QList<QPointF> points;
  for (const PlotPoint& p : plot.points) points.append(QPointF(std::log10(p.x), std::log10(p.y)));
  m_points->replace(points);
  m_points->setName(legendEntry(plot.pointsLabel));
  for (QLegendMarker* marker : m_chart->legend()->markers(m_points)) {
    marker->setVisible(!plot.points.empty());
  }

  // The error bars of the points, then of each curve's points, in their colours.
  std::vector<std::pair<PlotPoint, QColor>> barred;
  for (const PlotPoint& p : plot.points) barred.emplace_back(p, QColor(kPointColour));
  for (const PlotCurve& curve : plot.curves) {
    for (const PlotPoint& p : curve.points) barred.emplace_back(p, QColor(qs(curve.colour)));
  }
  while (m_bars.size() < barred.size()) {
    m_bars.push_back(lineSeries(QColor(kPointColour), Qt::SolidLine, 1.3));
    addSeries(m_bars.back(), false);
  }
  const double cap = (plot.x.high - plot.x.low) * 0.012;
  for (std::size_t i = 0; i < m_bars.size(); ++i) {
    QList<QPointF> bar;
    if (i < barred.size() && std::isfinite(barred[i].first.yError) &&
        barred[i].first.yError > 0.0) {
      const PlotPoint& p = barred[i].first;
      const double x = std::log10(p.x);
      const double hi = std::log10(p.y + p.yError);
      const double lo = p.y - p.yError > 0.0 ? std::log10(p.y - p.yError) : plot.y.low;
      // Lower cap, the bar itself, upper cap: one polyline.
      bar = {QPointF(x - cap, lo), QPointF(x + cap, lo), QPointF(x, lo),
             QPointF(x, hi),       QPointF(x - cap, hi), QPointF(x + cap, hi)};
      QPen pen = m_bars[i]->pen();
      pen.setColor(barred[i].second);
      m_bars[i]->setPen(pen);
    }
    m_bars[i]->replace(bar);
  }

  // One joined line with its points for each curve, named in the legend by its value.
  while (m_curves.size() < plot.curves.size()) {
    auto* marks = new QScatterSeries;
    marks->setMarkerSize(8.0);
    m_curves.emplace_back(new QLineSeries, marks);
    addSeries(m_curves.back().first, true);
    addSeries(m_curves.back().second, false);
  }
  for (std::size_t i = 0; i < m_curves.size(); ++i) {
    auto [line, marks] = m_curves[i];
    const bool used = i < plot.curves.size();
    QList<QPointF> joined;
    if (used) {
      const PlotCurve& curve = plot.curves[i];
      const QColor colour(qs(curve.colour));
      QPen pen(colour);
      pen.setWidthF(1.8);
      line->setPen(pen);
      marks->setColor(colour);
      marks->setBorderColor(colour);
      // The value alone, short enough for a small window; the title names the setting.
      line->setName(m_varied && i < m_varied->values.size() ? valueText(i) : display(curve.label));
      for (const PlotPoint& p : curve.points) {
        joined.append(QPointF(std::log10(p.x), std::log10(p.y)));
      }
    }
    line->replace(joined);
    marks->replace(joined);
    for (QLegendMarker* marker : m_chart->legend()->markers(line)) marker->setVisible(used);
  }

  while (m_lines.size() < plot.lines.size()) {
    m_lines.push_back(new QLineSeries);
    addSeries(m_lines.back(), true);
  }
  for (std::size_t i = 0; i < m_lines.size(); ++i) {
    QLineSeries* series = m_lines[i];
    const bool used = i < plot.lines.size();
    if (used) {
      const PowerLine& line = plot.lines[i];
      QPen pen{QColor(qs(line.colour))};
      pen.setWidthF(1.8);
      pen.setStyle(line.dashed ? Qt::DashLine : Qt::SolidLine);
      series->setPen(pen);
      series->setName(legendEntry(line.label));
      const auto at = [&line](double x) { return std::log10(line.amplitude) + line.exponent * x; };
      series->replace({QPointF(plot.x.low, at(plot.x.low)), QPointF(plot.x.high, at(plot.x.high))});
    } else {
      series->clear();
    }
    for (QLegendMarker* marker : m_chart->legend()->markers(series)) marker->setVisible(used);
  }

  setLogTicks(m_axisX, plot.x);
  setLogTicks(m_axisY, plot.y);
  m_axisX->setTitleText(display(plot.x.label).toHtmlEscaped());
  m_axisY->setTitleText(display(plot.y.label).toHtmlEscaped());
  m_chart->legend()->setVisible(!plot.points.empty() || !plot.curves.empty());
  nameScrollArea(m_view, plot.curves.empty() ? "Log-log plot of sqrt(<R²>) against N"
                                             : "Log-log plot of <R²>/N against N, one curve "
                                               "for each value of the swept setting");
  // Chart titles are read as rich text.
  QString title = display(plot.title);
  if (m_varied) title.replace(qs(m_varied->setting->key), qs(m_varied->setting->field).toLower());
  m_chart->setTitle(title.toHtmlEscaped());
}

void ScalingPage::setPlotMinimumHeight(int height) {
  m_view->setMinimumHeight(std::max(height, 180));
}

void ScalingPage::paintPlot(QPainter& painter, const QRect& target) {
  renderChartView(m_view, painter, target);
}

QSize ScalingPage::plotSize() const { return chartViewSize(m_view); }

}  // namespace polychain
