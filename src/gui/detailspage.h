// The "Details" tab: the textbook chain measures of the last finished run, each a mean over
// the chains with its standard error, for the self-avoiding models the trial counts, and for
// the pivot model how its moves fared.
// Every value is shown whole: what it means goes beside it or, on a narrow page, under it.
#pragma once

#include <QString>
#include <QWidget>
#include <vector>

#include "polychain/results.h"
#include "polychain/run.h"

class QGridLayout;
class QGroupBox;
class QLabel;

namespace polychain {

class ValueBox;

class DetailsPage final : public QWidget {
  Q_OBJECT

 public:
  explicit DetailsPage(QWidget* parent = nullptr);
  ~DetailsPage() override;

  // Shows `stats` (and `pivot` for a pivot run); `description` says which run they belong to.
  void setRun(const QString& description, const ExtendedStats& stats,
              const std::optional<PivotStats>& pivot = std::nullopt);

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
  ValueBox* m_chains;
  ValueBox* m_rmsEnd;
  ValueBox* m_meanSquaredEnd;
  ValueBox* m_meanEnd;
  ValueBox* m_rmsRg;
  ValueBox* m_meanSquaredRg;
  ValueBox* m_ratio;
  QGroupBox* m_countsBox;
  ValueBox* m_trials;
  ValueBox* m_discarded;
  ValueBox* m_backups;
  QGroupBox* m_pivotBox;
  ValueBox* m_acceptance;
  ValueBox* m_tauR2;
  ValueBox* m_tauRg2;
};

// An estimate as the window shows it: "value ± error", "value ± n/a" or "n/a".
QString estimateDisplay(const Estimate& estimate);

}  // namespace polychain
