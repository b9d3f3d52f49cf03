// The "Chain" tab: the last chain of the last finished run, coloured from its first site to
// its last, or after a run of many chains in a box (the melt's) every chain of its last sample
// in a colour of its own, with the box's edges and walls, wrapped into the box or whole (a
// toggle). In 3D (rotatable and zoomable) where OpenGL is available, otherwise as its
// projection on the x-y plane; consecutive sites are joined, and the axes are marked at round
// lattice coordinates. Long chains are thinned for drawing only: at most kMaxDrawnSites
// points reach the plot, while sites() keeps every site.
#pragma once

#include <QString>
#include <array>
#include <cstddef>
#include <memory>
#include <utility>
#include <vector>

#include <optional>

#include "gui/plotpage.h"
#include "polychain/point.h"
#include "polychain/run.h"
#include "window/boxview.h"

class Q3DScatter;
class QCustom3DItem;
class QTemporaryFile;
class QChart;
class QChartView;
class QCheckBox;
class QLabel;
class QLineSeries;
class QScatter3DSeries;
class QValueAxis;

namespace polychain {

class RoundTickFormatter;
class ViewFrame;

class ChainPage final : public PlotPage {
  Q_OBJECT

 public:
  static constexpr std::size_t kMaxDrawnSites = 20000;
  static constexpr int kColourBands = 16;  // the chain is drawn in this many colours
  // Up to this many drawn sites the 3D view shows the sites as beads on the bonds.
  static constexpr std::size_t kMaxBeads = 3000;

  explicit ChainPage(QWidget* parent = nullptr);
  ~ChainPage() override;

  // Shows `sites` (the chain in order); `description` says which run it came from.
  void setChain(const std::vector<Point>& sites, const QString& description);
  // Shows every chain of `box`, as the toggle "Wrapped into the box" says.
  void setBox(const ChainBox& box, const QString& description);
  bool showsBox() const { return m_box.has_value(); }
  // The lines the box's chains are drawn as: a chain each, or its pieces in the box.
  std::size_t drawnPieceCount() const { return m_pieces; }
  // At most this many of a box's sites are drawn (a chain's first and last always).
  static constexpr std::size_t kMaxDrawnBoxSites = 6000;
  const std::vector<Point>& sites() const { return m_sites; }
  // The sites drawn: all of them, or kMaxDrawnSites or fewer for a long chain.
  std::size_t drawnPointCount() const { return m_drawn; }
  bool isThreeD() const { return m_scatter != nullptr; }
  // The 3D view's widget (null without 3D) and a picture of it at `size` pixels.
  QWidget* threeDWidget() const { return m_container; }
  // What takes the keyboard for the plot: the 3D view's frame or the 2D chart.
  QWidget* plotFocusWidget() const;
  QImage threeDImage(const QSize& size) const;
  QString suggestedFileName() const override { return "chain.png"; }

  // Whether the 3D view can be used here: an OpenGL context can be made and current, the
  // platform is not the offscreen or minimal one, and POLYCHAIN_NO_3D is not set.
  static bool threeDAvailable();

 protected:
  void paintPlot(QPainter& painter, const QRect& target) override;
  QSize plotSize() const override;
  bool eventFilter(QObject* watched, QEvent* event) override;
  void showEvent(QShowEvent* event) override;

 private:
  void buildThreeD();
  void buildProjection();
  void showThreeD();
  void showProjection();
  void resetView();
  void fitZoom();
  void showBox();
  void showBoxThreeD();
  void showBoxProjection();
  void clearBox();

  std::vector<Point> m_sites;
  std::size_t m_drawn = 0;
  QLabel* m_info;
  // 3D view.
  Q3DScatter* m_scatter = nullptr;
  QWidget* m_container = nullptr;
  ViewFrame* m_frame = nullptr;  // holds m_container and takes the keyboard for it
  std::vector<QScatter3DSeries*> m_bands3D;
  std::vector<RoundTickFormatter*> m_formatters;  // x, z (vertical), y
  QCustom3DItem* m_bonds = nullptr;
  float m_fittedZoom = -1.0f;  // the zoom last fitted to the view's shape
  std::unique_ptr<QTemporaryFile> m_meshFile;
  // 2D projection.
  QChart* m_chart = nullptr;
  QChartView* m_view = nullptr;
  QValueAxis* m_axisX = nullptr;
  QValueAxis* m_axisY = nullptr;
  std::vector<QLineSeries*> m_bands2D;
  // A box of chains.
  std::optional<ChainBox> m_box;
  BoxView m_boxView;  // as drawn
  QString m_boxDescription;
  QCheckBox* m_wrapped = nullptr;
  QWidget* m_colourKey = nullptr;
  std::size_t m_pieces = 0;
  std::vector<QLineSeries*> m_boxSeries;  // 2D: the pieces, the box's outline and walls
  QCustom3DItem* m_boxChains = nullptr;   // 3D: the chains, then the edges and walls
  QCustom3DItem* m_boxFrame = nullptr;
  std::unique_ptr<QTemporaryFile> m_boxChainsFile;
  std::unique_ptr<QTemporaryFile> m_boxFrameFile;
};

// The colour of chain `index` in a box: chains next in order far apart in hue.
QColor boxChainColour(std::int64_t index);

// The colour of the point at `t` (0 first site, 1 last site) along the chain.
QColor chainColour(double t);

}  // namespace polychain
