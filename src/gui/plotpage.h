// One page of the window's plot tabs: a plot with a row of controls under it that ends in
// a "Save Plot…" button. Subclasses draw the plot; saving writes it as PNG or SVG.
#pragma once

#include <QByteArray>
#include <QImage>
#include <QString>
#include <QWidget>

class QChart;
class QChartView;
class QHBoxLayout;
class QLabel;
class QPainter;
class QPushButton;
class QVBoxLayout;

namespace polychain {

class PlotPage : public QWidget {
  Q_OBJECT

 public:
  // `saveName` becomes the object name of the page's save button, `plotName` names the
  // plot in that button's accessible name ("Save the <plotName> plot").
  PlotPage(const char* saveName, const QString& plotName, QWidget* parent = nullptr);

  // A plot drawn for saving: the SVG text or the picture, or why it could not be drawn.
  struct DrawnPlot {
    QByteArray svg;
    QImage png;
    QString error;
  };
  // Draws the plot as it stands for `path`: an SVG drawing when it ends in ".svg", a PNG
  // image when it ends in ".png" (either case). On the window's thread.
  DrawnPlot drawPlot(const QString& path);
  // Writes a drawn plot to `path` (encoding a PNG on the way), replacing the file only once
  // fully written; returns why it could not, or an empty text. Safe on any thread.
  static QString writePlot(const DrawnPlot& drawn, const QString& path);
  // Both at once.
  QString savePlot(const QString& path);
  // The file name to offer when saving, without a folder.
  virtual QString suggestedFileName() const = 0;
  QPushButton* saveButton() const { return m_save; }

 signals:
  // The save button was pressed: the owner asks for a file name and calls savePlot.
  void saveRequested();

 protected:
  // Draws the plot into `target`, which has the plot's size on screen.
  virtual void paintPlot(QPainter& painter, const QRect& target) = 0;
  // The plot's size on screen, or a default size when it has not been shown yet.
  virtual QSize plotSize() const = 0;

  // The page's layout: the plot (with anything above it) goes here, before the controls.
  QVBoxLayout* body() const { return m_body; }
  // The row of controls, under the plot unless the page moves it; the save button stays at
  // its right end.
  QHBoxLayout* controlRow() const { return m_controls; }

 private:
  QVBoxLayout* m_body;
  QHBoxLayout* m_controls;
  QPushButton* m_save;
};

// A chart view for a page: antialiased, named, with the chart's own margins kept small.
QChartView* makeChartView(QChart* chart, const char* name, const QString& accessibleName);

// Draws `view` (its whole viewport) into `target`, for saving.
void renderChartView(QChartView* view, QPainter& painter, const QRect& target);

// The size of `view` on screen, or 800 x 600 before it has been laid out.
QSize chartViewSize(const QChartView* view);

// A wrapped, plain-text label for notes under a plot.
QLabel* noteLabel(const char* name);

}  // namespace polychain
