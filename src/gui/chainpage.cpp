#include "gui/chainpage.h"

#include <QChart>
#include <QChartView>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineSeries>
#include <QLinearGradient>
#include <QOffscreenSurface>
#include <QOpenGLContext>
#include <QPainter>
#include <QPushButton>
#include <QVBoxLayout>
#include <QValueAxis>
#include <QtDataVisualization/Q3DCamera>
#include <QtDataVisualization/Q3DScatter>
#include <QtDataVisualization/Q3DScene>
#include <QtDataVisualization/Q3DTheme>
#include <QtDataVisualization/QScatter3DSeries>
#include <QtDataVisualization/QScatterDataProxy>
#include <QtDataVisualization/QValue3DAxis>
#include <algorithm>
#include <array>
#include <cmath>

#include "app/chainview.h"

namespace polychain {

namespace {

// Dark blue through green to yellow: easy to follow along the chain and readable in grey.
constexpr std::array<QRgb, 5> kGradient = {0xff440154, 0xff3b528b, 0xff21918c, 0xff5ec962,
                                           0xfffde725};

constexpr const char* kThreeDHint =
    "Drag with the right mouse button to turn the chain; zoom with the wheel.";
constexpr const char* kProjectionNote =
    "No OpenGL here: the chain is shown projected on the x-y plane.";

struct Range {
  double low = 0.0;
  double high = 0.0;
};

// Ranges of equal length on the three axes, each centred on the chain, with a site's room
// to spare, so the chain keeps its true shape.
std::array<Range, 3> cubeAround(const std::vector<Point>& sites) {
  std::array<std::int32_t, 3> low = {0, 0, 0};
  std::array<std::int32_t, 3> high = {0, 0, 0};
  for (const Point& p : sites) {
    const std::array<std::int32_t, 3> c = {p.x, p.y, p.z};
    for (std::size_t i = 0; i < 3; ++i) {
      low[i] = std::min(low[i], c[i]);
      high[i] = std::max(high[i], c[i]);
    }
  }
  double span = 0.0;
  for (std::size_t i = 0; i < 3; ++i) {
    span = std::max(span, static_cast<double>(high[i]) - static_cast<double>(low[i]));
  }
  span += 2.0;
  std::array<Range, 3> ranges;
  for (std::size_t i = 0; i < 3; ++i) {
    const double centre = (static_cast<double>(low[i]) + static_cast<double>(high[i])) / 2.0;
    ranges[i] = {centre - span / 2.0, centre + span / 2.0};
  }
  return ranges;
}

// The first display position of band `band` when `count` positions are split into bands.
std::size_t bandStart(std::size_t count, int band) {
  return count * static_cast<std::size_t>(band) / ChainPage::kColourBands;
}

double bandMiddle(int band) { return (static_cast<double>(band) + 0.5) / ChainPage::kColourBands; }

}  // namespace

QColor chainColour(double t) {
  t = std::clamp(t, 0.0, 1.0) * static_cast<double>(kGradient.size() - 1);
  const auto i = std::min(static_cast<std::size_t>(t), kGradient.size() - 2);
  const double f = t - static_cast<double>(i);
  const QColor a(kGradient[i]);
  const QColor b(kGradient[i + 1]);
  return QColor::fromRgbF(static_cast<float>(a.redF() + f * (b.redF() - a.redF())),
                          static_cast<float>(a.greenF() + f * (b.greenF() - a.greenF())),
                          static_cast<float>(a.blueF() + f * (b.blueF() - a.blueF())));
}

bool ChainPage::threeDAvailable() {
  static const bool available = [] {
    if (qEnvironmentVariableIsSet("POLYCHAIN_NO_3D")) return false;
    const QString platform = QGuiApplication::platformName();
    if (platform == "offscreen" || platform == "minimal") return false;
    QOpenGLContext context;
    if (!context.create()) return false;
    QOffscreenSurface surface;
    surface.setFormat(context.format());
    surface.create();
    if (!surface.isValid() || !context.makeCurrent(&surface)) return false;
    context.doneCurrent();
    return true;
  }();
  return available;
}

namespace {

// The colour key: "first site", the gradient, "last site".
class ColourKey final : public QWidget {
 public:
  ColourKey() {
    setObjectName("chainColourKey");
    setAccessibleName("Colour runs from the first site (dark blue) to the last (yellow)");
    setToolTip(accessibleName());
    setMinimumWidth(180);
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
  }
  QSize sizeHint() const override { return {260, fontMetrics().height() + 6}; }

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter painter(this);
    const QString first = "first site";
    const QString last = "last site";
    const QFontMetrics metrics = fontMetrics();
    const int gap = 6;
    const QRect bar(
        metrics.horizontalAdvance(first) + gap, 3,
        width() - metrics.horizontalAdvance(first) - metrics.horizontalAdvance(last) - 2 * gap,
        height() - 6);
    painter.setPen(palette().color(QPalette::WindowText));
    painter.drawText(rect(), Qt::AlignLeft | Qt::AlignVCenter, first);
    painter.drawText(rect(), Qt::AlignRight | Qt::AlignVCenter, last);
    if (bar.width() <= 0) return;
    QLinearGradient gradient(bar.topLeft(), bar.topRight());
    for (int i = 0; i <= 8; ++i) gradient.setColorAt(i / 8.0, chainColour(i / 8.0));
    painter.fillRect(bar, gradient);
  }
};

}  // namespace

ChainPage::ChainPage(QWidget* parent)
    : PlotPage("saveChainPlot", "chain", parent), m_info(noteLabel("chainInfo")) {
  setObjectName("chainPage");
  if (threeDAvailable()) {
    buildThreeD();
    body()->insertWidget(0, m_container, 1);
  } else {
    buildProjection();
    body()->insertWidget(0, m_view, 1);
  }
  body()->insertWidget(1, m_info);
  auto* reset = new QPushButton("Reset View");
  reset->setObjectName("chainResetView");
  reset->setAccessibleName("Reset the chain view");
  controlRow()->insertWidget(0, reset);
  controlRow()->insertSpacing(1, 12);
  controlRow()->insertWidget(2, new ColourKey);
  connect(reset, &QPushButton::clicked, this, &ChainPage::resetView);
  m_info->setText(QString(isThreeD() ? kThreeDHint : kProjectionNote));
}

void ChainPage::buildThreeD() {
  m_scatter = new Q3DScatter;
  m_scatter->setObjectName("chainScatter");
  m_scatter->activeTheme()->setType(Q3DTheme::ThemeQt);
  m_scatter->activeTheme()->setLabelBorderEnabled(false);
  QFont labels = m_scatter->activeTheme()->font();
  labels.setPointSizeF(labels.pointSizeF() * 1.6);
  m_scatter->activeTheme()->setFont(labels);
  m_scatter->setShadowQuality(QAbstract3DGraph::ShadowQualityNone);
  m_scatter->setOptimizationHints(QAbstract3DGraph::OptimizationStatic);
  m_scatter->setAspectRatio(1.0);
  m_scatter->setHorizontalAspectRatio(1.0);
  // The lattice's z runs up the screen: the graph's vertical axis.
  const std::pair<QValue3DAxis*, const char*> axes[] = {
      {m_scatter->axisX(), "x"}, {m_scatter->axisY(), "z"}, {m_scatter->axisZ(), "y"}};
  for (const auto& [axis, title] : axes) {
    axis->setTitle(title);
    axis->setTitleVisible(true);
    axis->setLabelFormat("%.0f");
  }
  for (int band = 0; band < kColourBands; ++band) {
    auto* series = new QScatter3DSeries;
    series->setMesh(QAbstract3DSeries::MeshSphere);
    series->setMeshSmooth(false);
    series->setItemLabelFormat("(@xLabel, @zLabel, @yLabel)");
    m_scatter->addSeries(series);
    series->setColorStyle(Q3DTheme::ColorStyleUniform);
    series->setBaseColor(chainColour(bandMiddle(band)));
    m_bands3D.push_back(series);
  }
  resetView();
  m_container = QWidget::createWindowContainer(m_scatter);
  m_container->setObjectName("chain3D");
  m_container->setAccessibleName("Last chain in 3D");
  m_container->setMinimumSize(240, 180);
  m_container->setFocusPolicy(Qt::StrongFocus);
}

void ChainPage::buildProjection() {
  m_chart = new QChart;
  m_chart->legend()->hide();
  m_chart->setTitle("Last chain, projected on the x-y plane");
  m_axisX = new QValueAxis;
  m_axisX->setTitleText("x");
  m_axisX->setLabelFormat("%.0f");
  m_axisY = new QValueAxis;
  m_axisY->setTitleText("y");
  m_axisY->setLabelFormat("%.0f");
  m_chart->addAxis(m_axisX, Qt::AlignBottom);
  m_chart->addAxis(m_axisY, Qt::AlignLeft);
  for (int band = 0; band < kColourBands; ++band) {
    auto* series = new QLineSeries;
    QPen pen(chainColour(bandMiddle(band)));
    pen.setWidthF(1.5);
    series->setPen(pen);
    m_chart->addSeries(series);
    series->attachAxis(m_axisX);
    series->attachAxis(m_axisY);
    m_bands2D.push_back(series);
  }
  m_view = makeChartView(m_chart, "chainProjection", "Last chain, projected on the x-y plane");
}

void ChainPage::setChain(const std::vector<Point>& sites, const QString& description) {
  m_sites = sites;
  if (isThreeD()) {
    showThreeD();
  } else {
    showProjection();
  }
  QString info = description + ": " + QString::number(m_sites.size()) +
                 (m_sites.size() == 1 ? " site" : " sites");
  const std::size_t drawn = drawnPointCount();
  if (drawn < m_sites.size()) info += QString(" (%1 evenly spread ones drawn)").arg(drawn);
  m_info->setText(info + ".\n" + (isThreeD() ? kThreeDHint : kProjectionNote));
}

void ChainPage::showThreeD() {
  const std::vector<std::size_t> shown = displayIndices(m_sites.size(), kMaxDrawnSites);
  for (int band = 0; band < kColourBands; ++band) {
    const std::size_t begin = bandStart(shown.size(), band);
    const std::size_t end = bandStart(shown.size(), band + 1);
    auto* items = new QScatterDataArray(static_cast<qsizetype>(end - begin));
    for (std::size_t i = begin; i < end; ++i) {
      const Point& p = m_sites[shown[i]];
      (*items)[static_cast<qsizetype>(i - begin)].setPosition(
          QVector3D(static_cast<float>(p.x), static_cast<float>(p.z), static_cast<float>(p.y)));
    }
    m_bands3D[static_cast<std::size_t>(band)]->dataProxy()->resetArray(items);
  }
  m_drawn = shown.size();
  // Smaller spheres for longer chains, so the path stays visible.
  const float size = std::clamp(
      0.6f / std::cbrt(static_cast<float>(std::max<std::size_t>(shown.size(), 1))), 0.01f, 0.1f);
  for (QScatter3DSeries* series : m_bands3D) series->setItemSize(size);
  const std::array<Range, 3> cube = cubeAround(m_sites);
  m_scatter->axisX()->setRange(static_cast<float>(cube[0].low), static_cast<float>(cube[0].high));
  m_scatter->axisZ()->setRange(static_cast<float>(cube[1].low), static_cast<float>(cube[1].high));
  m_scatter->axisY()->setRange(static_cast<float>(cube[2].low), static_cast<float>(cube[2].high));
}

void ChainPage::showProjection() {
  // Band b draws the segments from display position bandStart(segments, b) to the next
  // band's start, so neighbouring bands share their boundary point and the line is
  // unbroken; the total stays within kMaxDrawnSites. Short chains show their sites too.
  const std::vector<std::size_t> shown =
      displayIndices(m_sites.size(), kMaxDrawnSites - (kColourBands - 1));
  const std::size_t segments = shown.empty() ? 0 : shown.size() - 1;
  for (int band = 0; band < kColourBands; ++band) {
    std::size_t begin = bandStart(segments, band);
    std::size_t end = bandStart(segments, band + 1) + 1;
    if (end == begin + 1) end = begin;                   // no segment in this band
    if (segments == 0 && band == 0) end = shown.size();  // a single site
    QList<QPointF> points;
    points.reserve(static_cast<qsizetype>(end - begin));
    for (std::size_t i = begin; i < end; ++i) {
      const Point& p = m_sites[shown[i]];
      points.append(QPointF(p.x, p.y));
    }
    QLineSeries* series = m_bands2D[static_cast<std::size_t>(band)];
    series->replace(points);
    series->setPointsVisible(shown.size() <= 200);
  }
  m_drawn = shown.size();
  resetView();
}

void ChainPage::resetView() {
  if (isThreeD()) {
    m_scatter->scene()->activeCamera()->setCameraPreset(Q3DCamera::CameraPresetIsometricRight);
    m_scatter->scene()->activeCamera()->setZoomLevel(150.0f);
    return;
  }
  const std::array<Range, 3> cube = cubeAround(m_sites);
  m_axisX->setRange(cube[0].low, cube[0].high);
  m_axisY->setRange(cube[1].low, cube[1].high);
}

QImage ChainPage::threeDImage(const QSize& size) const {
  return isThreeD() ? m_scatter->renderToImage(4, size) : QImage();
}

void ChainPage::paintPlot(QPainter& painter, const QRect& target) {
  if (!isThreeD()) {
    renderChartView(m_view, painter, target);
    return;
  }
  const qreal scale = std::max<qreal>(1.0, painter.device()->devicePixelRatioF());
  painter.drawImage(QRectF(target), threeDImage((QSizeF(target.size()) * scale).toSize()));
}

QSize ChainPage::plotSize() const {
  if (!isThreeD()) return chartViewSize(m_view);
  const QSize size = m_container->size();
  return size.width() >= 100 && size.height() >= 100 ? size : QSize(800, 600);
}

}  // namespace polychain
