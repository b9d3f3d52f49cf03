#include "gui/detailspage.h"

#include <QChart>
#include <QChartView>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLegend>
#include <QLineEdit>
#include <QLineSeries>
#include <QLogValueAxis>
#include <QScrollArea>
#include <QVBoxLayout>
#include <QValueAxis>
#include <algorithm>
#include <cmath>
#include <map>
#include <optional>

#include "gui/accessible.h"
#include "gui/plotpage.h"
#include "gui/qtext.h"
#include "gui/valuebox.h"
#include "polychain/commonstats.h"
#include "polychain/inputerror.h"
#include "polychain/presentation.h"
#include "polychain/texts.h"

namespace polychain {

namespace {

// Room asked for before the first run: an estimate, and a count per chain.
constexpr const char* kTypicalEstimate = "0000.000 ± 00.000";
constexpr const char* kNoNotes = "No notes on the run";
constexpr const char* kTypicalCount = "mean 0000.00, max 00000";

QGridLayout* gridOf(QGroupBox* box) { return new QGridLayout(box); }

QString countDisplay(const std::optional<CountSummary>& count) {
  return count ? qs(countText(*count)) : QString();
}

// A field that a run's note names: its caption in the window, or for a setting the window has
// no field for (such as the melt's burn-in), its name in words.
std::string noteFieldName(std::string_view key) {
  std::string name = windowFieldName(key);
  if (!name.starts_with("--")) return name;
  name = key;
  std::ranges::replace(name, '_', ' ');
  return name;
}

}  // namespace

struct DetailsPage::Row {
  QGridLayout* grid;
  QLabel* caption;
  ValueBox* box;
  QLabel* meaning;
};

QString estimateDisplay(const Estimate& estimate) { return qs(estimateText(estimate, " ± ")); }

DetailsPage::DetailsPage(QWidget* parent, std::span<const ModelInfo* const> models)
    : QWidget(parent),
      m_run(new QLabel("No run yet.")),
      m_notes(new QLabel),
      m_chains(new ValueBox("detailsChains", "Chains", "0000", "chains the means are taken over")),
      m_countsBox(new QGroupBox("Trials per chain")),
      m_trials(new ValueBox("detailsTrials", "Trial steps per chain", kTypicalCount,
                            "trial steps made, accepted or not")),
      m_discarded(new ValueBox("detailsDiscarded", "Discarded trials per chain", kTypicalCount,
                               "trials refused by the occupancy or zone rules")),
      m_backups(new ValueBox("detailsBackups", "Back-ups per chain", kTypicalCount,
                             "sites abandoned by back-ups")),
      m_energyBox(new QGroupBox("Energy per chain (kT; mean ± standard error)")),
      m_factorsBox(new QGroupBox("Form factor P(q) and structure factor S(q)")),
      m_form(new QLineSeries),
      m_debye(new QLineSeries),
      m_structure(new QLineSeries),
      m_q(new QLogValueAxis),
      m_factor(new QLogValueAxis) {
  setObjectName("detailsPage");
  setAccessibleName("Details");
  m_run->setObjectName("detailsRun");
  m_run->setTextFormat(Qt::PlainText);
  m_run->setWordWrap(true);
  m_notes->setObjectName("detailsNotes");
  m_notes->setTextFormat(Qt::PlainText);
  m_notes->setWordWrap(true);
  m_notes->setAccessibleName(kNoNotes);
  m_notes->hide();

  auto* chainsGrid = new QGridLayout;
  addRow(chainsGrid, "Chains", m_chains);

  auto* endBox = new QGroupBox("End-to-end vector R");
  endBox->setObjectName("detailsEndBox");
  endBox->setAccessibleName(endBox->title());
  QGridLayout* end = gridOf(endBox);

  auto* sizeBox = new QGroupBox("Radius of gyration Rg about the centre of mass");
  sizeBox->setObjectName("detailsSizeBox");
  sizeBox->setAccessibleName(sizeBox->title());
  QGridLayout* size = gridOf(sizeBox);
  for (const CommonStatistic& statistic : commonStatistics()) {
    const MeasurePresentation& measure = statistic.shown;
    const std::string object(statistic.control);
    auto* box =
        new ValueBox(object.c_str(), qs(measure.description), kTypicalEstimate, qs(measure.hint));
    addRow(statistic.group == 0 ? end : size, qs(measure.label), box);
    m_statistics.push_back(box);
  }

  m_countsBox->setObjectName("detailsCountsBox");
  m_countsBox->setAccessibleName(m_countsBox->title());
  QGridLayout* counts = gridOf(m_countsBox);
  addRow(counts, "Trials", m_trials);
  addRow(counts, "Discarded", m_discarded);
  addRow(counts, "Back-ups", m_backups);
  m_countsBox->hide();
  m_energyBox->setObjectName("detailsEnergyBox");
  m_energyBox->setAccessibleName(m_energyBox->title());
  QGridLayout* energy = gridOf(m_energyBox);
  for (const EnergyTerm& term : energyTerms()) {
    // Such as "details_energy_contacts".
    const std::string object = "details_energy_" + std::string(term.name);
    auto* box = new ValueBox(object.c_str(), qs(term.label), kTypicalEstimate, qs(term.meaning));
    addRow(energy, qs(term.label), box);
    m_energy.push_back(box);
  }
  m_energyBox->hide();
  for (const ModelInfo* model : models) {
    ModelGroup group{model, nullptr, {}};
    for (std::size_t m = 0; m < model->measures.size(); ++m) {
      const MeasureInfo& measure = model->measures[m];
      const MeasurePresentation& shown = presentationOf(*model, m);
      if (shown.label.empty()) continue;
      if (group.box == nullptr) {
        group.box = new QGroupBox(qs(model->measuresTitle));
        // Such as "detailsPivotBox".
        QString key = qs(model->measuresKey);
        key[0] = key[0].toUpper();
        group.box->setObjectName("details" + key + "Box");
        group.box->setAccessibleName(group.box->title());
        group.box->hide();
      }
      const std::string typical = "0." + std::string(static_cast<std::size_t>(measure.digits), '0');
      const std::string object = "details_" + std::string(measure.name);
      auto* box = new ValueBox(object.c_str(), qs(shown.description), qs(typical), qs(shown.hint));
      group.values.emplace_back(m, box);
      if (measure.kind == MeasureKind::Curve) {
        auto* chart = new QChart;
        chart->legend()->hide();
        auto* series = new QLineSeries;
        chart->addSeries(series);
        auto* x = new QValueAxis;
        x->setTitleText("n");
        x->setLabelFormat("%d");
        auto* y = new QValueAxis;
        y->setTitleText(qs(shown.label).toHtmlEscaped());  // the title is rich text
        chart->addAxis(x, Qt::AlignBottom);
        chart->addAxis(y, Qt::AlignLeft);
        series->attachAxis(x);
        series->attachAxis(y);
        QChartView* view = makeChartView(chart, (object + "_plot").c_str(), qs(shown.description));
        group.curves.push_back({m, view, series, x, y});
      }
    }
    if (group.box == nullptr) continue;
    auto* groupLayout = new QVBoxLayout(group.box);
    auto* grid = new QGridLayout;
    groupLayout->addLayout(grid);
    for (const auto& [m, box] : group.values)
      addRow(grid, qs(presentationOf(*model, m).label), box);
    for (const CurvePlot& curve : group.curves) groupLayout->addWidget(curve.view);
    m_modelGroups.push_back(std::move(group));
  }
  arrangeRows();

  // P(q) and the Debye function at the run's <Rg²>, and a melt's S(q), against q.
  m_factorsBox->setObjectName("detailsFactorsBox");
  m_factorsBox->setAccessibleName(m_factorsBox->title());
  m_factorsBox->hide();
  {
    auto* chart = new QChart;
    m_form->setName("P(q)");
    m_debye->setName("Debye function");
    m_structure->setName("S(q)");
    m_q->setTitleText("q");
    m_q->setLabelFormat("%g");
    m_factor->setLabelFormat("%g");
    chart->addAxis(m_q, Qt::AlignBottom);
    chart->addAxis(m_factor, Qt::AlignLeft);
    for (QLineSeries* series : {m_form, m_debye, m_structure}) {
      chart->addSeries(series);
      series->attachAxis(m_q);
      series->attachAxis(m_factor);
    }
    chart->legend()->setAlignment(Qt::AlignBottom);
    auto* layout = new QVBoxLayout(m_factorsBox);
    layout->addWidget(makeChartView(chart, "details_factors_plot",
                                    "Form factor P(q) of the chains with the Debye function of "
                                    "an ideal chain, and a melt's structure factor S(q)"));
  }

  auto* note = new QLabel(
      "Means over the chains ± one standard error. The Results boxes keep their own "
      "measures: \"Sqr<R^2>\" there is the mean end-to-end distance <|R|>, and \"Rg\" the "
      "spread of the sites' distances from the start.");
  note->setObjectName("detailsNote");
  note->setTextFormat(Qt::PlainText);
  note->setWordWrap(true);

  auto* content = new QWidget;
  content->setAccessibleName("Details");
  auto* layout = new QVBoxLayout(content);
  layout->addWidget(m_run);
  layout->addWidget(m_notes);
  layout->addLayout(chainsGrid);
  layout->addWidget(endBox);
  layout->addWidget(sizeBox);
  layout->addWidget(m_countsBox);
  layout->addWidget(m_energyBox);
  for (const ModelGroup& group : m_modelGroups) layout->addWidget(group.box);
  layout->addWidget(m_factorsBox);
  layout->addWidget(note);
  layout->addStretch();

  auto* scroll = new QScrollArea;
  scroll->setWidget(content);
  scroll->setWidgetResizable(true);
  scroll->setFrameShape(QFrame::NoFrame);
  nameScrollArea(scroll, "Details");
  passFocusThrough(scroll);
  auto* outer = new QVBoxLayout(this);
  outer->setContentsMargins(0, 0, 0, 0);
  outer->addWidget(scroll);
}

void DetailsPage::setRun(const QString& description, const ModelInfo& model,
                         const ExtendedStats& stats, const std::vector<MeasureValue>& measures) {
  m_run->setText(description);
  QStringList notes;
  for (const std::string& note : runNotes(model, measures, noteFieldName)) notes << qs(note);
  m_notes->setText(notes.join('\n'));
  m_notes->setAccessibleName(notes.isEmpty() ? kNoNotes : m_notes->text());
  m_notes->setVisible(!notes.isEmpty());
  m_chains->setText(QString::number(stats.chains));
  for (std::size_t i = 0; i < m_statistics.size(); ++i) {
    m_statistics[i]->setText(estimateDisplay(stats.*commonStatistics()[i].value));
  }
  const bool counted = stats.trials.has_value();
  m_trials->setText(countDisplay(stats.trials));
  m_discarded->setText(countDisplay(stats.discarded));
  m_backups->setText(countDisplay(stats.backups));
  m_countsBox->setVisible(counted);
  for (const ModelGroup& group : m_modelGroups) {
    const bool shown = group.model == &model && measures.size() == model.measures.size();
    for (const auto& [m, box] : group.values) {
      box->setText(shown ? qs(measureText(model.measures[m], measures[m])) : QString());
    }
    for (const CurvePlot& curve : group.curves) {
      QList<QPointF> points;
      double least = 0.0;
      double most = 1.0;
      if (shown) {
        const MeasureValue& value = measures[curve.measure];
        const std::vector<double>& values = value.curve;
        const bool atOwnN = value.at.size() == values.size();
        points.reserve(static_cast<qsizetype>(values.size()));
        for (std::size_t i = 0; i < values.size(); ++i) {
          if (!std::isfinite(values[i])) continue;
          points.append(QPointF(atOwnN ? value.at[i] : static_cast<double>(i + 1), values[i]));
        }
      }
      if (!points.isEmpty()) {
        const auto [low, high] =
            std::minmax_element(points.begin(), points.end(),
                                [](const QPointF& a, const QPointF& b) { return a.y() < b.y(); });
        // From 0, so that a flat curve looks flat; a little room above its highest value.
        least = std::min(0.0, low->y());
        most = high->y() > least ? high->y() * 1.05 : least + 1.0;
      }
      curve.series->replace(points);
      curve.x->setRange(1.0, std::max(2.0, points.isEmpty() ? 2.0 : points.back().x()));
      curve.y->setRange(least, most);
    }
    group.box->setVisible(shown);
  }
  arrangeRows();
}

void DetailsPage::setEnergy(const std::optional<EnergyEstimates>& energy) {
  for (std::size_t i = 0; i < m_energy.size(); ++i) {
    const Estimate* value = energy ? energyTerms()[i].of(*energy) : nullptr;
    m_energy[i]->setText(value != nullptr ? estimateDisplay(*value) : QString("n/a"));
  }
  m_energyBox->setVisible(energy.has_value());
  arrangeRows();
}

void DetailsPage::setFactors(const std::optional<FormFactor>& form,
                             const std::optional<StructureFactor>& structure) {
  double low = 1.0, high = 1.0, first = 1.0, last = 1.0;
  bool any = false;
  const auto plot = [&](QLineSeries* series, const std::vector<double>& q,
                        const std::vector<double>* values) {
    QList<QPointF> points;
    for (std::size_t i = 0; values != nullptr && i < q.size() && i < values->size(); ++i) {
      const double v = (*values)[i];
      if (!(v > 0.0) || !std::isfinite(v) || !(q[i] > 0.0)) continue;  // not on a log axis
      if (!any) {
        low = high = v;
        first = last = q[i];
      }
      any = true;
      low = std::min(low, v);
      high = std::max(high, v);
      first = std::min(first, q[i]);
      last = std::max(last, q[i]);
      points.append(QPointF(q[i], v));
    }
    series->replace(points);
  };
  const std::vector<double> none;
  plot(m_form, form ? form->q : none, form ? &form->P : nullptr);
  plot(m_debye, form ? form->q : none, form ? &form->debye : nullptr);
  plot(m_structure, structure ? structure->q : none, structure ? &structure->S : nullptr);
  m_structure->setVisible(structure.has_value());
  m_q->setRange(first / 1.2, last * 1.2);
  m_factor->setRange(low / 1.5, high * 1.5);
  m_factorsBox->setVisible(any);
}

DetailsPage::~DetailsPage() = default;

void DetailsPage::addRow(QGridLayout* grid, const QString& caption, ValueBox* box) {
  auto* label = new QLabel(caption);
  label->setTextFormat(Qt::PlainText);
  label->setBuddy(box);
  // Captions share one width, so the boxes line up from group to group.
  label->setMinimumWidth(label->fontMetrics().horizontalAdvance("<Rg²>/<R²>") + 8);
  auto* meaning = new QLabel(box->accessibleDescription());
  meaning->setTextFormat(Qt::PlainText);
  meaning->setWordWrap(true);
  meaning->setForegroundRole(QPalette::PlaceholderText);
  m_rows.push_back({grid, label, box, meaning});
}

void DetailsPage::arrangeRows() {
  // Each box takes the room its value needs; its meaning goes beside it where the page is
  // wide enough for a line or two of it, and under it otherwise.
  constexpr int kMeaningWidth = 220;
  int boxes = 0;
  for (const Row& row : m_rows) boxes = std::max(boxes, row.box->minimumSizeHint().width());
  const int needed = m_rows.front().caption->minimumWidth() + boxes + kMeaningWidth + 60;
  const bool beside = width() >= needed;
  if (m_arranged && beside == m_meaningsBeside) return;
  m_arranged = true;
  m_meaningsBeside = beside;
  for (const Row& row : m_rows) {
    for (QWidget* w : std::initializer_list<QWidget*>{row.caption, row.box, row.meaning}) {
      row.grid->removeWidget(w);
    }
  }
  std::map<QGridLayout*, int> next;
  for (const Row& row : m_rows) {
    int& at = next[row.grid];
    row.grid->addWidget(row.caption, at, 0);
    row.grid->addWidget(row.box, at, 1);
    if (beside) {
      row.grid->addWidget(row.meaning, at, 2);
    } else {
      row.grid->addWidget(row.meaning, ++at, 1);
    }
    ++at;
    row.grid->setColumnStretch(1, beside ? 2 : 1);
    row.grid->setColumnStretch(2, beside ? 3 : 0);
  }
}

void DetailsPage::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  arrangeRows();
}

}  // namespace polychain
