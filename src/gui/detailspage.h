// The "Details" tab: the textbook chain measures of the last finished run, each a mean over
// the chains with its standard error, and for the self-avoiding models the trial counts.
#pragma once

#include <QString>
#include <QWidget>

#include "analysis/statistics.h"

class QGroupBox;
class QLabel;
class QLineEdit;

namespace polychain {

class DetailsPage final : public QWidget {
  Q_OBJECT

 public:
  explicit DetailsPage(QWidget* parent = nullptr);

  // Shows `stats`; `description` says which run they belong to.
  void setRun(const QString& description, const ExtendedStats& stats);

 private:
  QLabel* m_run;
  QLineEdit* m_chains;
  QLineEdit* m_rmsEnd;
  QLineEdit* m_meanSquaredEnd;
  QLineEdit* m_meanEnd;
  QLineEdit* m_rmsRg;
  QLineEdit* m_meanSquaredRg;
  QLineEdit* m_ratio;
  QGroupBox* m_countsBox;
  QLineEdit* m_trials;
  QLineEdit* m_discarded;
  QLineEdit* m_backups;
};

// An estimate as the window shows it: "value ± error", "value ± n/a" or "n/a".
QString estimateDisplay(const Estimate& estimate);

}  // namespace polychain
