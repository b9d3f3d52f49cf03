// The "Details" tab: the textbook chain measures of the last finished run, each a mean over
// the chains with its standard error, for the self-avoiding models the trial counts, and the
// measures that the run's model declares for the window (such as how the pivot model's moves
// fared), a group of them for each model that has any; a curve among them (such as the
// melt's <R²(n)>/n) is also plotted against n under its group's values.
// Under them, the run's form factor P(q) with the Debye function of an ideal chain and, for a
// melt, its structure factor S(q), on logarithmic axes.
// Every value is shown whole: what it means goes beside it or, on a narrow page, under it.
#pragma once

#include <QString>
#include <QWidget>
#include <optional>
#include <span>
#include <vector>

#include "polychain/model.h"
#include "polychain/results.h"
#include "polychain/run.h"

class QChartView;
class QGridLayout;
class QGroupBox;
class QLabel;
class QLineSeries;
class QLogValueAxis;
class QValueAxis;

namespace polychain {

class ValueBox;

class DetailsPage final : public QWidget {
  Q_OBJECT

 public:
  // With a group for the measures of each of `models` that has any.
  explicit DetailsPage(QWidget* parent = nullptr,
                       std::span<const ModelInfo* const> models = modelTable());
  ~DetailsPage() override;

  // Shows `stats` and the `measures` of a run of `model`; `description` says which run they
  // belong to.
  void setRun(const QString& description, const ModelInfo& model, const ExtendedStats& stats,
              const std::vector<MeasureValue>& measures = {});
  // Shows a run's energy terms, or hides them for a run without an energy.
  void setEnergy(const std::optional<EnergyEstimates>& energy);
  // Plots a run's form factor and, when it has one, its structure factor.
  void setFactors(const std::optional<FormFactor>& form,
                  const std::optional<StructureFactor>& structure);

 protected:
  void resizeEvent(QResizeEvent* event) override;

 private:
  struct Row;  // a caption, its value's box and what the value means
  void addRow(QGridLayout* grid, const QString& caption, ValueBox* box);
  void arrangeRows();

  std::vector<Row> m_rows;
  bool m_arranged = false;
  bool m_meaningsBeside = false;
  QLabel* m_run;
  QLabel* m_notes;  // the run's notes, such as whether a melt reached equilibrium
  ValueBox* m_chains;
  std::vector<ValueBox*> m_statistics;  // in the order of commonStatistics()
  QGroupBox* m_countsBox;
  ValueBox* m_trials;
  ValueBox* m_discarded;
  ValueBox* m_backups;
  // A curve's plot: its values at their own n when it has them, else at n = 1, 2, ...
  struct CurvePlot {
    std::size_t measure;  // its index among the model's measures
    QChartView* view;
    QLineSeries* series;
    QValueAxis* x;
    QValueAxis* y;
  };
  // Each model's group of its own measures, and the box of each measure shown (by its index
  // among the model's measures).
  struct ModelGroup {
    const ModelInfo* model;
    QGroupBox* box;
    std::vector<std::pair<std::size_t, ValueBox*>> values;
    std::vector<CurvePlot> curves;
  };
  std::vector<ModelGroup> m_modelGroups;
  QGroupBox* m_energyBox;
  std::vector<ValueBox*> m_energy;  // in the order of energyTerms()
  QGroupBox* m_factorsBox;
  QLineSeries* m_form;
  QLineSeries* m_debye;
  QLineSeries* m_structure;
  QLogValueAxis* m_q;
  QLogValueAxis* m_factor;
};

// An estimate as the window shows it: "value ± error", "value ± n/a" or "n/a".
QString estimateDisplay(const Estimate& estimate);

}  // namespace polychain
