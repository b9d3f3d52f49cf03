// Runs one scaling sweep at a time on its own thread and reports through queued signals,
// like RunWorker does for a run. cancel() may be called from any thread; the sweep then
// stops within a few thousand trials, keeping the step counts already finished.
#pragma once

#include <QObject>
#include <QString>
#include <atomic>
#include <chrono>

#include "app/sweep.h"
#include "gui/backgroundjob.h"

namespace polychain {

class SweepWorker final : public QObject, private SweepObserver {
  Q_OBJECT

 public:
  explicit SweepWorker(QObject* parent = nullptr);
  ~SweepWorker() override;  // cancels a sweep in progress and waits for its thread

  // Starts a sweep; false (and nothing happens) while another one is going on.
  bool start(const SweepParams& params);
  bool running() const { return m_job.running(); }
  void cancel() { m_cancel.store(true); }
  // Blocks until the sweep's thread has ended (at once when there is none).
  void wait() { m_job.wait(); }
  // The last sweep's output, once `finished` has been emitted.
  SweepOutput takeOutput() { return m_job.take(); }

 signals:
  // Share of the whole sweep done, 0 to 100.
  void progressed(float percent);
  void stepCountStarted(int index, int steps, quint64 seed);
  void stepCountFinished(int index, double rms, double rmsError);
  void chainTrapped(qint64 chain, qint64 trials);
  void messageRaised(const QString& title, const QString& text);
  // The sweep ended; takeOutput() says how. Emitted once per successful start().
  void finished();
  // The sweep could not take place at all.
  void failed(const QString& reason);

 private:
  void progress(const RunProgress& progress) override;
  void chainSeemsTrapped(std::int64_t chain, std::int64_t trials) override;
  bool cancelRequested() override { return m_cancel.load(std::memory_order_relaxed); }
  void message(std::string_view title, std::string_view text) override;
  void pointStarted(std::size_t index, std::int32_t steps, std::uint64_t seed) override;
  void pointFinished(std::size_t index, const SweepPoint& point) override;

  BackgroundJob<SweepOutput> m_job;
  std::atomic<bool> m_cancel{false};
  std::chrono::steady_clock::time_point m_lastProgress{};
};

}  // namespace polychain
