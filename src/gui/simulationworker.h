// Runs one simulation or one scaling sweep at a time on a thread of its own and reports back
// through queued signals, so the window stays responsive. cancel() may be called from any
// thread; the work then stops within a few milliseconds.
#pragma once

#include <QObject>
#include <QString>
#include <atomic>
#include <mutex>
#include <optional>
#include <thread>

#include "polychain/run.h"
#include "polychain/sweep.h"
#include "window/windowlogic.h"

namespace polychain {

class SimulationWorker final : public QObject, private SweepObserver {
  Q_OBJECT

 public:
  explicit SimulationWorker(QObject* parent = nullptr);
  ~SimulationWorker() override;  // cancels work in progress and waits for its thread

  // Start a run or a sweep; false (and nothing happens) while earlier work is going on.
  bool startRun(const CheckedRun& run);
  bool startSweep(const CheckedSweep& sweep);
  bool running() const { return m_running.load(); }
  void cancel() { m_cancel.store(true); }
  // Blocks until the work's thread has ended (at once when there is none).
  void wait();
  // The last run's result (moved out, its chain not copied), or the last sweep's result.
  // Once `finished` has been emitted.
  RunResult takeRun();
  SweepResult takeSweep();

 signals:
  // Progress of a run, or of a whole sweep in `chains`.
  void progressed(float chains, float steps, qint64 chain, qint64 trials);
  void correlationProgressed(float percent);
  void chainTrapped(qint64 chain, qint64 trials);
  void stepCountStarted(int index, int steps, quint64 seed);
  void stepCountFinished(int index, double rms, double rmsError);
  // The work ended; takeRun() or takeSweep() says how. Emitted once per successful start.
  void finished();
  // The work could not be done at all; nothing was changed.
  void failed(const QString& reason);

 private:
  template <typename Work>
  bool start(Work work);

  void progress(const RunProgress& progress) override;
  void correlationProgress(float percent) override;
  void chainSeemsTrapped(std::int64_t chain, std::int64_t trials) override;
  bool cancelRequested() override { return m_cancel.load(std::memory_order_relaxed); }
  void pointStarted(std::size_t index, std::int32_t steps, std::uint64_t seed) override;
  void pointFinished(std::size_t index, const SweepPoint& point) override;

  std::thread m_thread;
  std::atomic<bool> m_running{false};
  std::atomic<bool> m_cancel{false};
  std::mutex m_mutex;  // guards the results
  std::optional<RunResult> m_run;
  std::optional<SweepResult> m_sweep;
};

}  // namespace polychain
