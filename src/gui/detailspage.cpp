#include "gui/detailspage.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QScrollArea>
#include <QVBoxLayout>
#include <optional>

#include "app/texts.h"
#include "gui/qtext.h"

namespace polychain {

namespace {

QLineEdit* valueBox(const char* name, const QString& accessibleName) {
  auto* box = new QLineEdit;
  box->setObjectName(name);
  box->setAccessibleName(accessibleName);
  box->setReadOnly(true);
  box->setFocusPolicy(Qt::ClickFocus);
  return box;
}

// Adds a row "caption  box  meaning" to `grid`; the caption is the box's buddy. Captions
// share one width, so the boxes line up from group to group.
void addRow(QGridLayout* grid, const QString& caption, QLineEdit* box, const QString& meaning) {
  const int row = grid->rowCount();
  auto* label = new QLabel(caption);
  label->setTextFormat(Qt::PlainText);
  label->setBuddy(box);
  label->setMinimumWidth(label->fontMetrics().horizontalAdvance("<Rg²>/<R²>") + 8);
  auto* note = new QLabel(meaning);
  note->setTextFormat(Qt::PlainText);
  note->setWordWrap(true);
  note->setForegroundRole(QPalette::PlaceholderText);
  box->setToolTip(meaning);
  grid->addWidget(label, row, 0);
  grid->addWidget(box, row, 1);
  grid->addWidget(note, row, 2);
}

QGridLayout* gridOf(QGroupBox* box) {
  auto* grid = new QGridLayout(box);
  grid->setColumnStretch(1, 2);
  grid->setColumnStretch(2, 3);
  return grid;
}

QString countDisplay(const std::optional<CountSummary>& count) {
  return count ? qs(countText(*count)) : QString();
}

}  // namespace

QString estimateDisplay(const Estimate& estimate) { return qs(estimateText(estimate, " ± ")); }

DetailsPage::DetailsPage(QWidget* parent)
    : QWidget(parent),
      m_run(new QLabel("No run yet.")),
      m_chains(valueBox("detailsChains", "Chains")),
      m_rmsEnd(valueBox("detailsRmsEnd", "Root-mean-square end-to-end distance")),
      m_meanSquaredEnd(valueBox("detailsMeanSquaredEnd", "Mean squared end-to-end distance")),
      m_meanEnd(valueBox("detailsMeanEnd", "Mean end-to-end distance")),
      m_rmsRg(valueBox("detailsRmsRg", "Radius of gyration about the centre of mass")),
      m_meanSquaredRg(valueBox("detailsMeanSquaredRg", "Mean squared radius of gyration")),
      m_ratio(valueBox("detailsRatio",
                       "Ratio of mean squared radius of gyration to mean "
                       "squared end-to-end distance")),
      m_countsBox(new QGroupBox("Trials per chain")),
      m_trials(valueBox("detailsTrials", "Trial steps per chain")),
      m_discarded(valueBox("detailsDiscarded", "Discarded trials per chain")),
      m_backups(valueBox("detailsBackups", "Back-ups per chain")) {
  setObjectName("detailsPage");
  m_run->setObjectName("detailsRun");
  m_run->setTextFormat(Qt::PlainText);
  m_run->setWordWrap(true);

  auto* chainsGrid = new QGridLayout;
  chainsGrid->setColumnStretch(1, 2);
  chainsGrid->setColumnStretch(2, 3);
  addRow(chainsGrid, "Chains", m_chains, "chains the means are taken over");

  auto* endBox = new QGroupBox("End-to-end vector R");
  endBox->setObjectName("detailsEndBox");
  endBox->setAccessibleName(endBox->title());
  QGridLayout* end = gridOf(endBox);
  addRow(end, "sqrt(<R²>)", m_rmsEnd, "root-mean-square end-to-end distance");
  addRow(end, "<R²>", m_meanSquaredEnd, "mean squared end-to-end distance");
  addRow(end, "<|R|>", m_meanEnd, "mean end-to-end distance");

  auto* sizeBox = new QGroupBox("Radius of gyration Rg about the centre of mass");
  sizeBox->setObjectName("detailsSizeBox");
  sizeBox->setAccessibleName(sizeBox->title());
  QGridLayout* size = gridOf(sizeBox);
  addRow(size, "sqrt(<Rg²>)", m_rmsRg, "radius of gyration over all sites");
  addRow(size, "<Rg²>", m_meanSquaredRg, "mean squared radius of gyration");
  addRow(size, "<Rg²>/<R²>", m_ratio, "1/6 for a long ideal chain");

  m_countsBox->setObjectName("detailsCountsBox");
  m_countsBox->setAccessibleName(m_countsBox->title());
  QGridLayout* counts = gridOf(m_countsBox);
  addRow(counts, "Trials", m_trials, "trial steps made, accepted or not");
  addRow(counts, "Discarded", m_discarded, "trials refused by the occupancy or zone rules");
  addRow(counts, "Back-ups", m_backups, "sites abandoned by back-ups");
  m_countsBox->hide();

  auto* note = new QLabel(
      "Means over the chains ± one standard error. The Results boxes keep their own "
      "measures: \"Sqr<R^2>\" there is the mean end-to-end distance <|R|>, and \"Rg\" the "
      "spread of the sites' distances from the start.");
  note->setObjectName("detailsNote");
  note->setTextFormat(Qt::PlainText);
  note->setWordWrap(true);

  auto* content = new QWidget;
  auto* layout = new QVBoxLayout(content);
  layout->addWidget(m_run);
  layout->addLayout(chainsGrid);
  layout->addWidget(endBox);
  layout->addWidget(sizeBox);
  layout->addWidget(m_countsBox);
  layout->addWidget(note);
  layout->addStretch();

  auto* scroll = new QScrollArea;
  scroll->setWidget(content);
  scroll->setWidgetResizable(true);
  scroll->setFrameShape(QFrame::NoFrame);
  auto* outer = new QVBoxLayout(this);
  outer->setContentsMargins(0, 0, 0, 0);
  outer->addWidget(scroll);
}

void DetailsPage::setRun(const QString& description, const ExtendedStats& stats) {
  m_run->setText(description);
  m_chains->setText(QString::number(stats.chains));
  m_rmsEnd->setText(estimateDisplay(stats.rmsEnd));
  m_meanSquaredEnd->setText(estimateDisplay(stats.meanSquaredEnd));
  m_meanEnd->setText(estimateDisplay(stats.meanEnd));
  m_rmsRg->setText(estimateDisplay(stats.rmsRg));
  m_meanSquaredRg->setText(estimateDisplay(stats.meanSquaredRg));
  m_ratio->setText(estimateDisplay(stats.ratio));
  const bool counted = stats.trials.has_value();
  m_trials->setText(countDisplay(stats.trials));
  m_discarded->setText(countDisplay(stats.discarded));
  m_backups->setText(countDisplay(stats.backups));
  m_countsBox->setVisible(counted);
}

}  // namespace polychain
