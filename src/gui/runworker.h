// Runs one simulation at a time on its own thread and reports back through queued signals,
// so the window stays responsive. Progress reaches the window at most a few dozen times a
// second; cancel() may be called from any thread and takes effect within a few thousand trials.
#pragma once

#include <QObject>
#include <QString>
#include <atomic>
#include <chrono>

#include "chain/run.h"
#include "gui/backgroundjob.h"

namespace polychain {

class RunWorker final : public QObject, private RunObserver {
  Q_OBJECT

 public:
  explicit RunWorker(QObject* parent = nullptr);
  ~RunWorker() override;  // cancels a run in progress and waits for its thread

  // Starts a run; false (and nothing happens) while another one is going on.
  bool start(const RunParams& params);
  bool running() const { return m_job.running(); }
  void cancel() { m_cancel.store(true); }
  // Blocks until the run's thread has ended (at once when there is none).
  void wait() { m_job.wait(); }
  // The last run's output, once `finished` has been emitted.
  RunOutput takeOutput() { return m_job.take(); }

 signals:
  void progressed(float chains, float steps, qint64 chain, qint64 trials);
  void correlationProgressed(float percent);
  void chainTrapped(qint64 chain, qint64 trials);
  void messageRaised(const QString& title, const QString& text);
  // The run ended; takeOutput() says how. Emitted once per successful start().
  void finished();
  // The run could not take place at all (a model that is not available, say).
  void failed(const QString& reason);

 private:
  void progress(const RunProgress& progress) override;
  void correlationProgress(float percent) override;
  void chainSeemsTrapped(std::int64_t chain, std::int64_t trials) override;
  bool cancelRequested() override { return m_cancel.load(std::memory_order_relaxed); }
  void message(std::string_view title, std::string_view text) override;

  bool due(std::chrono::steady_clock::time_point& last);

  BackgroundJob<RunOutput> m_job;
  std::atomic<bool> m_cancel{false};
  std::chrono::steady_clock::time_point m_lastProgress{};
  std::chrono::steady_clock::time_point m_lastCorrelation{};
};

}  // namespace polychain
