#include "gui/plotpage.h"

#include <QBuffer>
#include <QChart>
#include <QChartView>
#include <QFileInfo>
#include <QGraphicsLayout>
#include <QGraphicsScene>
#include <QHBoxLayout>
#include <QImage>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QSaveFile>
#include <QSvgGenerator>
#include <QVBoxLayout>

#include "gui/accessible.h"

namespace polychain {

namespace {
// PNG files are drawn at twice the screen size, so that they stay sharp when printed.
constexpr int kPngScale = 2;
}  // namespace

PlotPage::PlotPage(const char* saveName, const QString& plotName, QWidget* parent)
    : QWidget(parent),
      m_body(new QVBoxLayout(this)),
      m_controls(new QHBoxLayout),
      m_save(new QPushButton("Save Plot…")) {
  m_save->setObjectName(saveName);
  m_save->setAccessibleName("Save the " + plotName + " plot");
  m_save->setToolTip("Save this plot as a PNG image or an SVG drawing");
  m_controls->addStretch();
  m_controls->addWidget(m_save);
  m_body->addLayout(m_controls);
  connect(m_save, &QPushButton::clicked, this, &PlotPage::saveRequested);
}

PlotPage::DrawnPlot PlotPage::drawPlot(const QString& path) {
  DrawnPlot drawn;
  const QString suffix = QFileInfo(path).suffix().toLower();
  if (suffix != "png" && suffix != "svg") {
    drawn.error = "A plot is saved as a PNG image (.png) or an SVG drawing (.svg); \"" +
                  QFileInfo(path).fileName() + "\" ends in neither.";
    return drawn;
  }
  const QSize size = plotSize();
  if (suffix == "svg") {
    QBuffer buffer(&drawn.svg);
    buffer.open(QIODevice::WriteOnly);
    QSvgGenerator svg;
    svg.setOutputDevice(&buffer);
    svg.setSize(size);
    svg.setViewBox(QRect(QPoint(0, 0), size));
    svg.setTitle(QFileInfo(path).completeBaseName());
    svg.setDescription("Drawn by polychain");
    QPainter painter;
    bool painted = painter.begin(&svg);
    if (painted) {
      painter.setRenderHint(QPainter::Antialiasing);
      paintPlot(painter, QRect(QPoint(0, 0), size));
      painted = painter.end();
    }
    if (!painted) drawn.error = "Could not draw the plot into " + path + ".";
  } else {
    drawn.png = QImage(size * kPngScale, QImage::Format_ARGB32_Premultiplied);
    drawn.png.setDevicePixelRatio(kPngScale);
    drawn.png.fill(Qt::white);
    QPainter painter(&drawn.png);
    painter.setRenderHint(QPainter::Antialiasing);
    paintPlot(painter, QRect(QPoint(0, 0), size));
  }
  return drawn;
}

QString PlotPage::writePlot(const DrawnPlot& drawn, const QString& path) {
  if (!drawn.error.isEmpty()) return drawn.error;
  QSaveFile file(path);
  if (!file.open(QIODevice::WriteOnly)) {
    return "Could not write " + path + ": " + file.errorString();
  }
  const bool written =
      drawn.png.isNull() ? file.write(drawn.svg) == drawn.svg.size() : drawn.png.save(&file, "PNG");
  if (!written) {
    file.cancelWriting();
    return "Could not draw the plot into " + path + ".";
  }
  if (!file.commit()) return "Could not write " + path + ": " + file.errorString();
  return {};
}

QString PlotPage::savePlot(const QString& path) { return writePlot(drawPlot(path), path); }

QChartView* makeChartView(QChart* chart, const char* name, const QString& accessibleName) {
  // Room beyond the plot area for the half of an end label that sticks out.
  chart->setMargins(QMargins(6, 8, 14, 6));
  auto* view = new QChartView(chart);
  view->setObjectName(name);
  nameScrollArea(view, accessibleName);
  view->setRenderHint(QPainter::Antialiasing);
  view->setMinimumSize(240, 180);
  return view;
}

void renderChartView(QChartView* view, QPainter& painter, const QRect& target) {
  // The chart is drawn from its scene, laid out at the target's size for the moment, so a
  // page that was never shown saves as well as one on screen.
  QChart* chart = view->chart();
  const QSizeF shown = chart->size();
  const QSizeF wanted(target.size());
  const auto layOut = [chart](const QSizeF& size) {
    chart->resize(size);
    if (chart->layout() != nullptr) chart->layout()->activate();
  };
  if (shown != wanted) layOut(wanted);
  chart->scene()->render(&painter, QRectF(target), QRectF(chart->pos(), wanted));
  if (shown != wanted) layOut(shown);
}

QSize chartViewSize(const QChartView* view) {
  const QSize size = view->viewport()->size();
  return size.width() >= 100 && size.height() >= 100 ? size : QSize(800, 600);
}

QLabel* noteLabel(const char* name) {
  auto* label = new QLabel;
  label->setObjectName(name);
  label->setTextFormat(Qt::PlainText);
  label->setWordWrap(true);
  return label;
}

}  // namespace polychain
