// The "Scaling" tab: a sweep over a list of chain lengths N with the model (and its
// Self-Avoidance or Kuhn Length) chosen under Parameters, run on a SweepWorker. Shows each
// N's seed and sqrt(<R^2>) as it finishes, then the log-log plot with error bars, the fitted
// line and the two reference slopes, and the fitted exponent with its standard error.
#pragma once

#include <QMessageBox>
#include <QString>
#include <functional>
#include <optional>
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
  // The last sweep that ended, finished or not.
  const std::optional<SweepResult>& lastSweep() const { return m_last; }
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
  void drawSweep(const SweepResult& sweep);
  void addSeries(QXYSeries* series, bool inLegend);

  InputsSource m_mainInputs;
  SimulationWorker* m_worker;
  SweepParams m_params;
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
};

}  // namespace polychain
