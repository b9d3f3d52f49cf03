#include "gui/correlationpage.h"

#include <QChart>
#include <QChartView>
#include <QCheckBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineSeries>
#include <QLogValueAxis>
#include <QSignalBlocker>
#include <QVBoxLayout>
#include <QValueAxis>
#include <algorithm>
#include <cmath>
#include <limits>

namespace polychain {

namespace {

QString quantity(CorrelationPage::Kind kind) {
  return kind == CorrelationPage::Kind::PairCorrelation ? "g(r)" : "g(q)";
}

}  // namespace

CorrelationPage::CorrelationPage(Kind kind, QWidget* parent)
    : PlotPage(kind == Kind::PairCorrelation ? "saveGofrPlot" : "saveGofqPlot", quantity(kind),
               parent),
      m_kind(kind),
      m_chart(new QChart),
      m_series(new QLineSeries),
      m_axisX(new QValueAxis),
      m_linearY(new QValueAxis),
      m_logY(new QLogValueAxis),
      m_info(noteLabel(kind == Kind::PairCorrelation ? "gofrInfo" : "gofqInfo")) {
  const bool pairs = kind == Kind::PairCorrelation;
  setObjectName(pairs ? "gofrPage" : "gofqPage");
  m_chart->legend()->hide();
  QPen pen(QColor(0x1f77b4));
  pen.setWidthF(1.5);
  m_series->setPen(pen);
  m_series->setName(quantity(kind));
  m_chart->addSeries(m_series);
  m_axisX->setTitleText(pairs ? "r (lattice units)" : "k (frequency index)");
  m_axisX->setLabelFormat("%g");
  m_linearY->setLabelFormat("%g");
  m_logY->setBase(10.0);
  m_logY->setLabelFormat("%g");
  m_logY->setMinorTickCount(-1);
  m_chart->addAxis(m_axisX, Qt::AlignBottom);
  for (QAbstractAxis* axis : std::initializer_list<QAbstractAxis*>{m_linearY, m_logY}) {
    axis->setTitleText(quantity(kind));
    m_chart->addAxis(axis, Qt::AlignLeft);
  }
  m_series->attachAxis(m_axisX);
  m_series->attachAxis(m_linearY);
  m_logY->hide();
  m_view = makeChartView(m_chart, pairs ? "gofrChart" : "gofqChart",
                         pairs ? "Pair correlation g(r) of the last chain"
                               : "Structure factor g(q) of the last chain");
  m_view->setFocusPolicy(Qt::NoFocus);  // the plot takes no keys
  body()->insertWidget(0, m_view, 1);
  body()->insertWidget(1, m_info);
  if (!pairs) {
    m_logAxis = new QCheckBox("Logarithmic g(q) axis");
    m_logAxis->setObjectName("gofqLogAxis");
    m_logAxis->setAccessibleName(m_logAxis->text());
    controlRow()->insertWidget(0, m_logAxis);
    connect(m_logAxis, &QCheckBox::toggled, this, &CorrelationPage::redraw);
    // Ticked or cleared by hand, the box keeps its state from run to run.
    connect(m_logAxis, &QCheckBox::clicked, this, [this] { m_axisChosen = true; });
  }
  m_info->setText("No run has computed " + quantity(kind) +
                  " yet: tick \"Calculate Pairwise Correlation Factor\" and run.");
  redraw();
}

bool CorrelationPage::logarithmic() const { return m_logAxis != nullptr && m_logAxis->isChecked(); }

void CorrelationPage::setValues(std::vector<double> values, const QString& description) {
  m_values = std::move(values);
  m_description = description;
  if (m_logAxis != nullptr && !m_axisChosen) {
    // Values over more than two decades open on the logarithmic axis, where the smaller ones
    // are seen beside the largest.
    double low = std::numeric_limits<double>::infinity();
    double high = 0.0;
    for (const double v : m_values) {
      if (std::isfinite(v) && v > 0.0) {
        low = std::min(low, v);
        high = std::max(high, v);
      }
    }
    const QSignalBlocker quiet(m_logAxis);
    m_logAxis->setChecked(high > 100.0 * low);
  }
  redraw();
}

void CorrelationPage::redraw() {
  const bool logY = logarithmic();
  const bool pairs = m_kind == Kind::PairCorrelation;
  QList<QPointF> points;
  points.reserve(static_cast<qsizetype>(m_values.size()));
  double low = std::numeric_limits<double>::infinity();
  double high = -low;
  double right = 1.0;
  std::size_t leftOut = 0;
  for (std::size_t i = 0; i < m_values.size(); ++i) {
    const double x = static_cast<double>(i);
    const double y = m_values[i];
    if (!std::isfinite(y) || (logY && !(y > 0.0))) {
      ++leftOut;
      continue;
    }
    points.append(QPointF(x, y));
    low = std::min(low, y);
    high = std::max(high, y);
    right = std::max(right, x);
  }
  m_series->clear();  // so that no value of 0 ever meets the logarithmic axis
  m_axisX->setRange(0.0, right);
  m_axisX->applyNiceNumbers();
  if (logY) {
    if (points.isEmpty()) {
      m_logY->setRange(0.1, 10.0);
    } else {
      const double lowDecade = std::pow(10.0, std::floor(std::log10(low)));
      const double highDecade = std::pow(10.0, std::ceil(std::log10(high)));
      // A hair wider than the decades, so that their end labels are drawn.
      m_logY->setRange(lowDecade * 0.999,
                       (highDecade > lowDecade ? highDecade : lowDecade * 10.0) * 1.001);
    }
  } else if (points.isEmpty()) {
    m_linearY->setRange(0.0, 1.0);
  } else {
    const double bottom = std::min(0.0, low);
    m_linearY->setRange(bottom, high > bottom ? high * 1.05 : bottom + 1.0);
    m_linearY->applyNiceNumbers();
  }
  QAbstractAxis* used = logY ? static_cast<QAbstractAxis*>(m_logY) : m_linearY;
  QAbstractAxis* unused = logY ? static_cast<QAbstractAxis*>(m_linearY) : m_logY;
  if (!m_series->attachedAxes().contains(used)) {
    m_series->detachAxis(unused);
    m_series->attachAxis(used);
  }
  unused->hide();
  used->show();
  m_series->replace(points);
  m_series->setPointsVisible(points.size() <= 64);

  // The title stays short enough for a small window; the note under the plot says which
  // run the values are from.
  m_chart->setTitle(pairs ? "Pair correlation g(r)" : "Structure factor g(q)");
  if (m_values.empty()) return;
  QString info = QString::number(m_values.size()) + " values from " + m_description + ".";
  if (leftOut > 0) {
    info += QString(" %1 %2 not positive and not shown on the logarithmic axis.")
                .arg(leftOut)
                .arg(leftOut == 1 ? "value is" : "values are");
  }
  m_info->setText(info);
}

qsizetype CorrelationPage::drawnPointCount() const { return m_series->count(); }

QString CorrelationPage::suggestedFileName() const {
  return m_kind == Kind::PairCorrelation ? "gofr.png" : "gofq.png";
}

void CorrelationPage::paintPlot(QPainter& painter, const QRect& target) {
  renderChartView(m_view, painter, target);
}

QSize CorrelationPage::plotSize() const { return chartViewSize(m_view); }

}  // namespace polychain
