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

#include "app/mainwindow.h"
#include "app/sweep.h"
#include "gui/plotpage.h"

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
class QTableWidget;

namespace polychain {

class SweepWorker;

// The field names the sweep's messages use.
inline constexpr std::string_view kSweepStepsField = "Steps (N) list";
inline constexpr std::string_view kSweepIterationsField = "Iterations per N";

// The sweep the Scaling tab would start: the model from `main`'s option (the first selected
// of RLOPT, SAWOPT, ShortOpt) with its Avoid or Kuhn field, and the tab's own three fields.
// Throws InputError naming the field at fault; an empty seed stays empty.
SweepParams sweepFromInputs(const Form1Inputs& main, std::string_view steps,
                            std::string_view iterations, std::string_view seed);

class ScalingPage final : public PlotPage {
  Q_OBJECT

 public:
  using InputsSource = std::function<Form1Inputs()>;

  explicit ScalingPage(InputsSource mainInputs, QWidget* parent = nullptr);
  ~ScalingPage() override;

  bool sweepInProgress() const;
  // Cancels a sweep in progress and waits until its thread has ended.
  void stopSweep();
  // The last sweep that ended, finished or not.
  const std::optional<SweepOutput>& lastSweep() const { return m_last; }
  QChart* chart() const { return m_chart; }
  QString suggestedFileName() const override { return "scaling.png"; }

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
  void drawSweep(const SweepOutput& sweep);
  void addSeries(QXYSeries* series, bool inLegend);

  InputsSource m_mainInputs;
  SweepWorker* m_worker;
  SweepParams m_params;
  std::optional<SweepOutput> m_last;
  bool m_running = false;

  QLineEdit* m_steps;
  QLineEdit* m_iterations;
  QLineEdit* m_seed;
  QPushButton* m_run;
  QPushButton* m_cancel;
  QProgressBar* m_progress;
  QLabel* m_status;
  QLabel* m_exponent;
  QTableWidget* m_table;
  QChart* m_chart;
  QChartView* m_view;
  // The chart's axes and series live as long as the page; a new sweep refills them.
  QCategoryAxis* m_axisX;
  QCategoryAxis* m_axisY;
  QLineSeries* m_fit;
  QLineSeries* m_ideal;
  QLineSeries* m_selfAvoiding;
  QScatterSeries* m_points;
  std::vector<QLineSeries*> m_bars;  // one per point; spare ones are left empty
};

}  // namespace polychain
