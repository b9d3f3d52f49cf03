// The "Scaling" tab: a sweep over a list of chain lengths N with the model and its settings
// chosen under Parameters, run on a SweepWorker. Shows each N's seed and sqrt(<R^2>) as it
// finishes, then the log-log plot with error bars, the fitted line and the two reference
// slopes, and the fitted exponent with its standard error. A real setting typed as a list
// (the contact energy -0.22,-0.269,-0.32) sweeps each value in turn, and the plot shows one
// curve of <R^2>/N against N for each.
#pragma once

#include <QMessageBox>
#include <QString>
#include <functional>
#include <optional>
#include <utility>
#include <vector>

#include "gui/plotpage.h"
#include "polychain/loglogplot.h"
#include "window/windowlogic.h"

class QCategoryAxis;
class QChart;
class QChartView;
class QLabel;
class QLineEdit;
class QLineSeries;
class QProgressBar;
class QPushButton;
class QScatterSeries;
class QXYSeries;
class QTreeWidget;

namespace polychain {

class SimulationWorker;

class ScalingPage final : public PlotPage {
  Q_OBJECT

 public:
  using InputsSource = std::function<RunInputs()>;

  explicit ScalingPage(InputsSource mainInputs, QWidget* parent = nullptr);
  ~ScalingPage() override;

  bool sweepInProgress() const;
  // Cancels a sweep in progress and waits until its thread has ended.
  void stopSweep();
  // The last sweep that ended, finished or not (of a sweep over a setting: its last value's).
  const std::optional<SweepResult>& lastSweep() const { return m_last; }
  // Of the last sweep over a setting: each value's sweep that ended, in order.
  const std::vector<SweepResult>& lastSeries() const { return m_series; }
  QChart* chart() const { return m_chart; }
  QString suggestedFileName() const override { return "scaling.png"; }
  // The plot is never shorter than this.
  void setPlotMinimumHeight(int height);

 public slots:
  void runSweep();
  void cancelSweep();

 signals:
  void sweepStarted();
  // A sweep ended, finished, cancelled or failed; the tab shows its outcome already.
  void sweepEnded();
  void messageRequested(QMessageBox::Icon icon, const QString& title, const QString& text);

 protected:
  void paintPlot(QPainter& painter, const QRect& target) override;
  QSize plotSize() const override;

 private:
  void setRunning(bool running);
  void onStepCountStarted(int index, int steps, quint64 seed);
  void onStepCountFinished(int index, double rms, double rmsError);
  void onFinished();
  void onFailed(const QString& reason);
  void finishSweeps(const SweepResult& last);
  void setColumns(bool series);
  // The table's row of point `index` of the value swept now, and its first column after the
  // value's own.
  int row(int index) const;
  int firstColumn() const { return m_varied ? 1 : 0; }
  // The swept setting's value at `index`, as its field shows it.
  QString valueText(std::size_t index) const;
  void drawPlot(const LogLogPlot& plot);
  void addSeries(QXYSeries* series, bool inLegend);

  InputsSource m_mainInputs;
  SimulationWorker* m_worker;
  SweepParams m_params;  // of the value swept now
  std::vector<CheckedSweep> m_plan;
  std::optional<SweepVaried> m_varied;  // none: a sweep of N alone
  std::vector<SweepResult> m_series;    // the values swept so far
  std::size_t m_current = 0;            // the value swept now
  std::optional<SweepResult> m_last;
  bool m_running = false;

  QLineEdit* m_steps;
  QLineEdit* m_iterations;
  QLineEdit* m_seed;
  QPushButton* m_run;
  QPushButton* m_cancel;
  QProgressBar* m_progress;
  QLabel* m_status;
  QLabel* m_exponent;
  QTreeWidget* m_table;
  QChart* m_chart;
  QChartView* m_view;
  // The chart's axes and series live as long as the page; a new sweep refills them.
  QCategoryAxis* m_axisX;
  QCategoryAxis* m_axisY;
  std::vector<QLineSeries*> m_lines;  // the plot's power lines; spare ones are left empty
  QScatterSeries* m_points;
  std::vector<QLineSeries*> m_bars;  // one per point; spare ones are left empty
  // One joined line and its points for each value of a sweep over a setting; spare ones are
  // left empty.
  std::vector<std::pair<QLineSeries*, QScatterSeries*>> m_curves;
};

}  // namespace polychain
