#include "gui/chainpage.h"

#include <QChart>
#include <QChartView>
#include <QCheckBox>
#include <QDir>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineSeries>
#include <QLinearGradient>
#include <QOffscreenSurface>
#include <QOpenGLContext>
#include <QPainter>
#include <QPushButton>
#include <QTemporaryFile>
#include <QVBoxLayout>
#include <QValueAxis>
#include <QtDataVisualization/Q3DCamera>
#include <QtDataVisualization/Q3DScatter>
#include <QtDataVisualization/Q3DScene>
#include <QtDataVisualization/Q3DTheme>
#include <QtDataVisualization/QCustom3DItem>
#include <QtDataVisualization/QScatter3DSeries>
#include <QtDataVisualization/QScatterDataProxy>
#include <QtDataVisualization/QValue3DAxis>
#include <QtDataVisualization/QValue3DAxisFormatter>
#include <algorithm>
#include <array>
#include <cmath>

#include "gui/viewframe.h"
#include "window/boxview.h"
#include "window/chainview.h"
#include "window/ticks.h"
#include "window/tubemesh.h"

namespace polychain {

namespace {

// Dark blue through green to yellow: easy to follow along the chain and readable in grey.
constexpr std::array<QRgb, 5> kGradient = {0xff440154, 0xff3b528b, 0xff21918c, 0xff5ec962,
                                           0xfffde725};

constexpr const char* kThreeDHint =
    "Drag with the right mouse button to turn the chain; zoom with the wheel.";
constexpr const char* kThreeDKeys =
    "With the keyboard: the arrow keys turn the chain (with Shift in small steps), + and - "
    "zoom, Tab moves on.";
constexpr const char* kProjectionNote =
    "No OpenGL here: the chain is shown projected on the x-y plane.";

constexpr QChar kMinus(0x2212);

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

// Ticks along an axis of the chain's cube: round lattice coordinates, kept off the ends so
// that the labels of two axes never meet at a corner. None for an empty view.
AxisTicks latticeTicks(const Range& range, bool empty) {
  if (empty) return {};
  const double inset = (range.high - range.low) * 0.08;
  return roundTicks(range.low + inset, range.high - inset, 5, 1.0);
}

// The chain's colours from its first site (left) to its last (right), one pixel high: the
// tube's texture.
QImage gradientImage() {
  QImage image(256, 1, QImage::Format_RGB32);
  for (int i = 0; i < image.width(); ++i) {
    image.setPixel(i, 0, chainColour(i / double(image.width() - 1)).rgb());
  }
  return image;
}

// The first display position of band `band` when `count` positions are split into bands.
std::size_t bandStart(std::size_t count, int band) {
  return count * static_cast<std::size_t>(band) / ChainPage::kColourBands;
}

double bandMiddle(int band) { return (static_cast<double>(band) + 0.5) / ChainPage::kColourBands; }

}  // namespace

// Grid lines and labels of a 3D axis at given values instead of evenly spread segments.
class RoundTickFormatter final : public QValue3DAxisFormatter {
 public:
  void setTicks(AxisTicks ticks) {
    m_ticks = std::move(ticks);
    markDirty(true);
  }

 protected:
  QValue3DAxisFormatter* createNewInstance() const override { return new RoundTickFormatter; }
  void populateCopy(QValue3DAxisFormatter& copy) const override {
    QValue3DAxisFormatter::populateCopy(copy);
    static_cast<RoundTickFormatter&>(copy).m_ticks = m_ticks;
  }
  void recalculate() override {
    gridPositions().clear();
    subGridPositions().clear();
    labelPositions().clear();
    labelStrings().clear();
    const double low = axis()->min();
    const double span = static_cast<double>(axis()->max()) - low;
    if (!(span > 0.0)) return;
    for (std::size_t i = 0; i < m_ticks.values.size(); ++i) {
      const auto at = static_cast<float>((m_ticks.values[i] - low) / span);
      gridPositions().append(at);
      labelPositions().append(at);
      // The minus sign rather than the hyphen: a hyphen is lost to the eye once the
      // labels are drawn small.
      labelStrings().append(QString::fromStdString(m_ticks.labels[i]).replace('-', kMinus));
    }
  }

 private:
  AxisTicks m_ticks;
};

QColor boxChainColour(std::int64_t index) {
  // Steps of the golden ratio round the hue circle; lightness alternates a little too.
  const double hue = std::fmod(0.6180339887 * static_cast<double>(index), 1.0);
  return QColor::fromHsvF(static_cast<float>(hue), 0.8f, index % 2 == 0 ? 0.95f : 0.75f);
}

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
    body()->insertWidget(0, m_frame, 1);
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
  m_colourKey = new ColourKey;
  controlRow()->insertWidget(2, m_colourKey);
  m_wrapped = new QCheckBox("Wrapped into the bo&x");
  m_wrapped->setObjectName("chainWrapped");
  m_wrapped->setAccessibleName("Chains wrapped into the box");
  m_wrapped->setToolTip(
      "On: each site moved into the periodic box, a chain cut where it leaves through a side. "
      "Off: each chain whole, as it grew from its first site in the box.");
  m_wrapped->setChecked(true);
  m_wrapped->hide();
  controlRow()->insertWidget(3, m_wrapped);
  connect(reset, &QPushButton::clicked, this, &ChainPage::resetView);
  connect(m_wrapped, &QCheckBox::toggled, this, [this] {
    if (m_box) showBox();
  });
  m_info->setText(QString(isThreeD() ? kThreeDHint : kProjectionNote));
}

ChainPage::~ChainPage() = default;

void ChainPage::buildThreeD() {
  m_scatter = new Q3DScatter;
  m_scatter->setObjectName("chainScatter");
  m_scatter->activeTheme()->setType(Q3DTheme::ThemeQt);
  m_scatter->activeTheme()->setLabelBorderEnabled(false);
  m_scatter->activeTheme()->setLabelTextColor(QColor(0x20, 0x20, 0x20));
  QFont labels = m_scatter->activeTheme()->font();
  labels.setPointSizeF(labels.pointSizeF() * 2.6);
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
    axis->setTitleFixed(false);  // titles and labels turn to face the viewer
    axis->setLabelAutoRotation(90.0f);
    auto* formatter = new RoundTickFormatter;
    axis->setFormatter(formatter);
    m_formatters.push_back(formatter);
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
  showThreeD();
  resetView();
  m_container = QWidget::createWindowContainer(m_scatter);
  m_container->setObjectName("chain3D");
  m_container->setAccessibleName("Chain drawing");
  m_container->setMinimumSize(240, 180);
  m_container->installEventFilter(this);
  m_frame = new ViewFrame(m_scatter, m_container);
  m_frame->setObjectName("chain3DFrame");
  m_frame->setAccessibleName("Last chain in 3D");
  m_frame->setAccessibleDescription(kThreeDKeys);
  m_frame->setToolTip(kThreeDKeys);
  connect(m_frame, &ViewFrame::turnRequested, this, [this](float yaw, float pitch) {
    Q3DCamera* camera = m_scatter->scene()->activeCamera();
    camera->setXRotation(camera->xRotation() + yaw);
    camera->setYRotation(camera->yRotation() + pitch);
  });
  connect(m_frame, &ViewFrame::zoomRequested, this, [this](float factor) {
    Q3DCamera* camera = m_scatter->scene()->activeCamera();
    camera->setZoomLevel(
        std::clamp(camera->zoomLevel() * factor, camera->minZoomLevel(), camera->maxZoomLevel()));
  });
}

void ChainPage::buildProjection() {
  m_chart = new QChart;
  m_chart->legend()->hide();
  m_chart->setTitle("Last chain, projected on the x-y plane");
  m_axisX = new QValueAxis;
  m_axisX->setTitleText("x");
  m_axisY = new QValueAxis;
  m_axisY->setTitleText("y");
  for (QValueAxis* axis : {m_axisX, m_axisY}) {
    axis->setLabelFormat("%.0f");
    axis->setTickType(QValueAxis::TicksDynamic);
  }
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
  clearBox();
  if (m_chart != nullptr) m_chart->setTitle("Last chain, projected on the x-y plane");
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
  m_drawn = shown.size();
  const std::array<Range, 3> cube = cubeAround(m_sites);
  // The lattice's x, z and y run along the graph's x, y and z axes; the graph's z runs
  // towards the viewer, the opposite way to its data's z axis.
  const double half = (cube[0].high - cube[0].low) / 2.0;
  const auto graphPoint = [&](const Point& p) {
    return MeshPoint{(p.x - (cube[0].low + half)) / half, (p.z - (cube[2].low + half)) / half,
                     -(p.y - (cube[1].low + half)) / half};
  };

  // Sites as beads for chains short enough to tell them apart, and for every chain the
  // bonds between consecutive drawn sites as one tube coloured along the chain.
  const bool beads = shown.size() <= kMaxBeads;
  for (int band = 0; band < kColourBands; ++band) {
    const std::size_t begin = beads ? bandStart(shown.size(), band) : 0;
    const std::size_t end = beads ? bandStart(shown.size(), band + 1) : 0;
    auto* items = new QScatterDataArray(static_cast<qsizetype>(end - begin));
    for (std::size_t i = begin; i < end; ++i) {
      const Point& p = m_sites[shown[i]];
      (*items)[static_cast<qsizetype>(i - begin)].setPosition(
          QVector3D(static_cast<float>(p.x), static_cast<float>(p.z), static_cast<float>(p.y)));
    }
    m_bands3D[static_cast<std::size_t>(band)]->dataProxy()->resetArray(items);
  }
  // A bead's diameter is a third of a lattice unit, and a bond's about a tenth, but never thinner
  // than a pixel or so.
  const auto beadSize = static_cast<float>(std::clamp(0.7 / half, 0.008, 0.1));
  for (QScatter3DSeries* series : m_bands3D) series->setItemSize(beadSize);
  std::vector<MeshPoint> path;
  path.reserve(shown.size());
  for (std::size_t i : shown) path.push_back(graphPoint(m_sites[i]));
  // A new item for each chain: the graph reads an item's mesh once.
  if (m_bonds != nullptr) m_scatter->removeCustomItem(m_bonds);
  m_bonds = nullptr;
  const std::string mesh = tubeMeshObj(path, std::max(0.06 / half, 0.004));
  auto file = std::make_unique<QTemporaryFile>(QDir::tempPath() + "/polychain-chain-XXXXXX.obj");
  const auto size = static_cast<qint64>(mesh.size());
  if (!mesh.empty() && file->open() && file->write(mesh.data(), size) == size && file->flush()) {
    // The mesh is written in the graph's own box, -1 to 1 on each axis.
    m_bonds = new QCustom3DItem(file->fileName(), QVector3D(0.0f, 0.0f, 0.0f),
                                QVector3D(1.0f, 1.0f, 1.0f), QQuaternion(), gradientImage());
    m_bonds->setPositionAbsolute(true);
    m_bonds->setShadowCasting(false);
    m_scatter->addCustomItem(m_bonds);
    m_meshFile = std::move(file);  // kept until the next chain, as the graph reads it late
  }

  const std::pair<QValue3DAxis*, const Range*> axes[] = {{m_scatter->axisX(), &cube[0]},
                                                         {m_scatter->axisY(), &cube[2]},
                                                         {m_scatter->axisZ(), &cube[1]}};
  for (std::size_t i = 0; i < 3; ++i) {
    const auto& [axis, range] = axes[i];
    axis->setRange(static_cast<float>(range->low), static_cast<float>(range->high));
    m_formatters[i]->setTicks(latticeTicks(*range, m_sites.empty()));
  }
}

void ChainPage::setBox(const ChainBox& box, const QString& description) {
  clearBox();
  m_box = box;
  m_boxDescription = description;
  m_sites.clear();
  m_wrapped->show();
  m_colourKey->hide();
  showBox();
}

void ChainPage::clearBox() {
  for (QLineSeries* series : m_boxSeries) {
    m_chart->removeSeries(series);
    delete series;
  }
  m_boxSeries.clear();
  for (QCustom3DItem** item : {&m_boxChains, &m_boxFrame}) {
    if (*item != nullptr) m_scatter->removeCustomItem(*item);
    *item = nullptr;
  }
  m_pieces = 0;
  m_box.reset();
  m_boxView = {};
  m_wrapped->hide();
  m_colourKey->show();
}

void ChainPage::showBox() {
  m_boxView = boxView(*m_box, m_wrapped->isChecked(), kMaxDrawnBoxSites);
  const BoxView& view = m_boxView;
  m_pieces = view.pieces.size();
  m_drawn = view.sitesDrawn;
  if (isThreeD()) {
    showBoxThreeD();
  } else {
    showBoxProjection();
  }
  QString info = QString("%1: %2 chains in a box of side %3")
                     .arg(m_boxDescription)
                     .arg(view.chains)
                     .arg(m_box->side);
  QStringList walls;
  for (std::size_t axis = 0; axis < 3; ++axis) {
    if (view.walls[axis]) walls << QString("xyz"[axis]);
  }
  info += walls.isEmpty() ? ", periodic" : ", walls normal to " + walls.join(" and ");
  if (view.chainsDrawn < view.chains || view.sitesDrawn < view.sites) {
    info += QString(" (%1 chains and %2 sites evenly spread drawn)")
                .arg(view.chainsDrawn)
                .arg(view.sitesDrawn);
  }
  m_info->setText(info + ".\n" + (isThreeD() ? kThreeDHint : kProjectionNote));
}

void ChainPage::showBoxProjection() {
  const bool wrapped = m_wrapped->isChecked();
  const BoxView& view = m_boxView;
  for (QLineSeries* band : m_bands2D) band->clear();
  for (QLineSeries* series : m_boxSeries) {
    m_chart->removeSeries(series);
    delete series;
  }
  m_boxSeries.clear();
  const auto add = [this](const QList<QPointF>& points, const QPen& pen) {
    auto* series = new QLineSeries;
    series->setPen(pen);
    series->replace(points);
    m_chart->addSeries(series);
    series->attachAxis(m_axisX);
    series->attachAxis(m_axisY);
    m_boxSeries.push_back(series);
  };
  // The box's outline, and its walls normal to x and y as thick sides.
  const double lo = view.low, hi = view.high;
  add({{lo, lo}, {hi, lo}, {hi, hi}, {lo, hi}, {lo, lo}}, QPen(QColor(0x80, 0x80, 0x80), 1.0));
  QPen wall(QColor(0x60, 0x60, 0x60), 4.0);
  if (view.walls[0]) add({{lo, lo}, {lo, hi}}, wall), add({{hi, lo}, {hi, hi}}, wall);
  if (view.walls[1]) add({{lo, lo}, {hi, lo}}, wall), add({{lo, hi}, {hi, hi}}, wall);
  for (const BoxPiece& piece : view.pieces) {
    QList<QPointF> points;
    points.reserve(std::ssize(piece.points));
    for (const MeshPoint& p : piece.points) points.append(QPointF(p.x, p.y));
    QPen pen(boxChainColour(piece.chain));
    pen.setWidthF(1.5);
    add(points, pen);
  }
  m_chart->setTitle(wrapped ? "Last sample in its box (x-y projection)"
                            : "Last sample, chains whole (x-y projection)");
  resetView();
}

void ChainPage::showBoxThreeD() {
  const BoxView& view = m_boxView;
  for (QScatter3DSeries* band : m_bands3D) band->dataProxy()->resetArray(new QScatterDataArray);
  if (m_bonds != nullptr) m_scatter->removeCustomItem(m_bonds);
  m_bonds = nullptr;
  for (QCustom3DItem** item : {&m_boxChains, &m_boxFrame}) {
    if (*item != nullptr) m_scatter->removeCustomItem(*item);
    *item = nullptr;
  }
  // The view's cube: the box, or what the whole chains reach beyond it.
  double low = view.low, high = view.high;
  for (const BoxPiece& piece : view.pieces) {
    for (const MeshPoint& p : piece.points) {
      low = std::min({low, p.x - 1, p.y - 1, p.z - 1});
      high = std::max({high, p.x + 1, p.y + 1, p.z + 1});
    }
  }
  const double half = (high - low) / 2.0;
  const double centre = low + half;
  // The lattice's x, z and y along the graph's x, y and z, as for a single chain.
  const auto graphPoint = [&](const MeshPoint& p) {
    return MeshPoint{(p.x - centre) / half, (p.z - centre) / half, -(p.y - centre) / half};
  };
  const auto item = [this](const std::string& mesh, const QImage& texture,
                           std::unique_ptr<QTemporaryFile>& kept) -> QCustom3DItem* {
    auto file = std::make_unique<QTemporaryFile>(QDir::tempPath() + "/polychain-box-XXXXXX.obj");
    const auto size = static_cast<qint64>(mesh.size());
    if (mesh.empty() || !file->open() || file->write(mesh.data(), size) != size || !file->flush()) {
      return nullptr;
    }
    auto* made = new QCustom3DItem(file->fileName(), QVector3D(0.0f, 0.0f, 0.0f),
                                   QVector3D(1.0f, 1.0f, 1.0f), QQuaternion(), texture);
    made->setPositionAbsolute(true);
    made->setShadowCasting(false);
    m_scatter->addCustomItem(made);
    kept = std::move(file);  // kept until the next drawing, as the graph reads it late
    return made;
  };
  // The chains: one mesh, coloured through a texture of a pixel a drawn chain.
  std::vector<MeshTube> tubes;
  QImage colours(static_cast<int>(std::max<std::int64_t>(view.chainsDrawn, 1)), 1,
                 QImage::Format_RGB32);
  std::int64_t rank = -1;
  std::int64_t previous = -1;
  for (const BoxPiece& piece : view.pieces) {
    if (piece.chain != previous) {
      ++rank;
      previous = piece.chain;
      colours.setPixel(static_cast<int>(rank), 0, boxChainColour(piece.chain).rgb());
    }
    MeshTube tube{{}, (static_cast<double>(rank) + 0.5) / colours.width()};
    for (const MeshPoint& p : piece.points) tube.path.push_back(graphPoint(p));
    tubes.push_back(std::move(tube));
  }
  m_boxChains = item(tubesMeshObj(tubes, std::max(0.06 / half, 0.004)), colours, m_boxChainsFile);
  // The box's edges in grey, and each wall as a grid of darker lines across its face.
  QImage frameColours(2, 1, QImage::Format_RGB32);
  frameColours.setPixel(0, 0, qRgb(0x90, 0x90, 0x90));
  frameColours.setPixel(1, 0, qRgb(0x50, 0x50, 0x50));
  std::vector<MeshTube> frame;
  for (const auto& [a, b] : cubeEdges(view.low, view.high)) {
    frame.push_back({{graphPoint(a), graphPoint(b)}, 0.25});
  }
  constexpr int kWallLines = 6;
  for (std::size_t axis = 0; axis < 3; ++axis) {
    if (!view.walls[axis]) continue;
    for (const double at : {view.low, view.high}) {
      for (int i = 1; i < kWallLines; ++i) {
        const double c = view.low + (view.high - view.low) * i / kWallLines;
        for (std::size_t along = 1; along <= 2; ++along) {
          std::array<double, 3> from{}, to{};
          from[axis] = to[axis] = at;
          from[(axis + along) % 3] = view.low;
          to[(axis + along) % 3] = view.high;
          from[(axis + 3 - along) % 3] = to[(axis + 3 - along) % 3] = c;
          frame.push_back(
              {{graphPoint({from[0], from[1], from[2]}), graphPoint({to[0], to[1], to[2]})}, 0.75});
        }
      }
    }
  }
  m_boxFrame =
      item(tubesMeshObj(frame, std::max(0.03 / half, 0.003)), frameColours, m_boxFrameFile);
  const std::pair<QValue3DAxis*, std::size_t> axes[] = {
      {m_scatter->axisX(), 0}, {m_scatter->axisY(), 1}, {m_scatter->axisZ(), 2}};
  for (const auto& [axis, i] : axes) {
    axis->setRange(static_cast<float>(low), static_cast<float>(high));
    m_formatters[i]->setTicks(latticeTicks({low, high}, false));
  }
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
    m_fittedZoom = -1.0f;
    fitZoom();
    return;
  }
  std::array<Range, 3> cube = cubeAround(m_sites);
  if (m_box) {
    // The box with a lattice unit to spare, or what the whole chains reach beyond it.
    const BoxView& view = m_boxView;
    Range x{view.low - 1, view.high + 1}, y = x;
    for (const BoxPiece& piece : view.pieces) {
      for (const MeshPoint& p : piece.points) {
        x = {std::min(x.low, p.x - 1), std::max(x.high, p.x + 1)};
        y = {std::min(y.low, p.y - 1), std::max(y.high, p.y + 1)};
      }
    }
    cube = {x, y, x};
  }
  const bool empty = m_sites.empty() && !m_box;
  for (auto [axis, range] : {std::pair{m_axisX, cube[0]}, std::pair{m_axisY, cube[1]}}) {
    axis->setRange(range.low, range.high);
    const AxisTicks ticks = latticeTicks(range, empty);
    axis->setLabelsVisible(!ticks.values.empty());
    axis->setGridLineVisible(!ticks.values.empty());
    if (!ticks.values.empty()) {
      axis->setTickAnchor(0.0);
      axis->setTickInterval(ticks.step);
    }
  }
}

void ChainPage::fitZoom() {
  // The graph is scaled to the view's width: a wide view needs less zoom to keep the labels
  // under the cube in sight. A zoom the user chose stays.
  Q3DCamera* camera = m_scatter->scene()->activeCamera();
  if (m_fittedZoom >= 0.0f && camera->zoomLevel() != m_fittedZoom) return;
  const QSize size = m_container != nullptr ? m_container->size() : QSize();
  const float aspect = size.width() > 0 ? float(size.height()) / float(size.width()) : 1.0f;
  m_fittedZoom = std::clamp(175.0f * aspect, 100.0f, 185.0f);
  camera->setZoomLevel(m_fittedZoom);
}

void ChainPage::showEvent(QShowEvent* event) {
  // Top to bottom: the view, then the row under it. Set once the page is in its window, as
  // moving the page there orders its widgets anew.
  QWidget* reset = findChild<QPushButton*>("chainResetView");
  setTabOrder(plotFocusWidget(), reset);
  setTabOrder(reset, m_wrapped);
  setTabOrder(m_wrapped, saveButton());
  PlotPage::showEvent(event);
}

bool ChainPage::eventFilter(QObject* watched, QEvent* event) {
  if (watched == m_container && event->type() == QEvent::Resize) fitZoom();
  return PlotPage::eventFilter(watched, event);
}

QWidget* ChainPage::plotFocusWidget() const {
  return isThreeD() ? static_cast<QWidget*>(m_frame) : m_view;
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
