// The tabs beside the window's controls: the last chain, g(r), g(q), the extended
// statistics ("Details") and the scaling sweep ("Scaling"). showRun() refreshes the first
// four after each finished run. The sweep's plot takes at least half the tab's height. Saving a
// plot asks for a file name through a replaceable hook, so that tests never block on a modal
// dialog.
#pragma once

#include <QMessageBox>
#include <QTabWidget>
#include <functional>

class QScrollArea;
class QThread;

#include "polychain/run.h"
#include "window/windowlogic.h"

namespace polychain {

class ChainPage;
class CorrelationPage;
class DetailsPage;
class PlotPage;
class ScalingPage;

class PlotTabs final : public QTabWidget {
  Q_OBJECT

 public:
  using MessageHook =
      std::function<void(QMessageBox::Icon icon, const QString& title, const QString& text)>;
  // Asks where to save a plot, offering `suggestedName`; an empty text means cancelled.
  using SaveNameHook = std::function<QString(QWidget* parent, const QString& suggestedName)>;
  using InputsSource = std::function<RunInputs()>;

  // `mainInputs` reads the window's parameters for the Scaling tab.
  explicit PlotTabs(InputsSource mainInputs, QWidget* parent = nullptr);
  // Waits for a plot being written.
  ~PlotTabs() override;

  void setMessageHook(MessageHook hook) { m_showMessage = std::move(hook); }
  void setSaveNameHook(SaveNameHook hook) { m_askSaveName = std::move(hook); }

  // Takes in a finished run of `params`: the chain, g(r) and g(q) when it computed them, and
  // the extended statistics.
  void showRun(const RunParams& params, const RunResult& result);
  // Cancels a sweep in progress and waits until it has stopped, and for a plot being written.
  void stopWork();
  // Asks for a file name and saves `page`'s plot there, reporting a failure as a message.
  // The plot is drawn on the window's thread once the status says so, and written (a PNG
  // encoded) on a thread of its own; plotSaveEnded() follows. One save at a time.
  void savePlot(PlotPage* page);
  bool saving() const { return m_writer != nullptr; }

  ChainPage* chainPage() const { return m_chain; }
  CorrelationPage* gofrPage() const { return m_gofr; }
  CorrelationPage* gofqPage() const { return m_gofq; }
  DetailsPage* detailsPage() const { return m_details; }
  ScalingPage* scalingPage() const { return m_scaling; }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 signals:
  // A short note for the window's status bar.
  void statusMessage(const QString& text);
  // A save asked for by savePlot() ended: cancelled, refused, failed or done.
  void plotSaveEnded();

 private:
  MessageHook m_showMessage;
  SaveNameHook m_askSaveName;
  ChainPage* m_chain;
  CorrelationPage* m_gofr;
  CorrelationPage* m_gofq;
  DetailsPage* m_details;
  ScalingPage* m_scaling;
  QScrollArea* m_scalingArea = nullptr;
  QThread* m_writer = nullptr;  // writing a plot, from the drawing to the written file
};

}  // namespace polychain
