// The "g(r)" and "g(q)" tabs: the curve of the last run that computed it, kept until another
// run computes it anew. The g(q) page offers a logarithmic vertical axis, on which values
// that are not positive are left out (the note under the plot says how many); it opens on
// that axis when the values span more than two decades, until the user chooses.
#pragma once

#include <QString>
#include <vector>

#include "gui/plotpage.h"

class QChart;
class QChartView;
class QCheckBox;
class QLabel;
class QLineSeries;
class QLogValueAxis;
class QValueAxis;

namespace polychain {

class CorrelationPage final : public PlotPage {
  Q_OBJECT

 public:
  enum class Kind { PairCorrelation, StructureFactor };  // g(r), g(q)

  explicit CorrelationPage(Kind kind, QWidget* parent = nullptr);

  // Shows `values` (value i at index i); `description` says which run computed them.
  void setValues(std::vector<double> values, const QString& description);
  const std::vector<double>& values() const { return m_values; }
  // Points in the plotted series.
  qsizetype drawnPointCount() const;
  QChart* chart() const { return m_chart; }
  // The log-axis check box; null on the g(r) page.
  QCheckBox* logAxisBox() const { return m_logAxis; }
  QString suggestedFileName() const override;

 protected:
  void paintPlot(QPainter& painter, const QRect& target) override;
  QSize plotSize() const override;

 private:
  void redraw();
  bool logarithmic() const;

  Kind m_kind;
  std::vector<double> m_values;
  QString m_description;
  QChart* m_chart;
  QChartView* m_view;
  QLineSeries* m_series;
  // Both vertical axes stay in the chart; the series is attached to the one in use and
  // the other is hidden.
  QValueAxis* m_axisX;
  QValueAxis* m_linearY;
  QLogValueAxis* m_logY;
  QCheckBox* m_logAxis = nullptr;
  bool m_axisChosen = false;  // the log-axis box was set by hand
  QLabel* m_info;
};

}  // namespace polychain
