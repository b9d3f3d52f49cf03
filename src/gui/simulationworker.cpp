#include "gui/simulationworker.h"

#include <exception>
#include <utility>

namespace polychain {

SimulationWorker::SimulationWorker(QObject* parent) : QObject(parent) {}

SimulationWorker::~SimulationWorker() {
  cancel();
  wait();
}

void SimulationWorker::wait() {
  if (m_thread.joinable()) m_thread.join();
}

template <typename Work>
bool SimulationWorker::start(Work work) {
  if (m_running.load()) return false;
  wait();  // a finished job's thread may still be on its way out
  m_cancel.store(false);
  m_running.store(true);
  m_thread = std::thread([this, work = std::move(work)] {
    QString failure;
    try {
      work();
    } catch (const std::exception& error) {
      failure = QString::fromUtf8(error.what());
    } catch (...) {
      failure = QStringLiteral("The run failed for an unknown reason.");
    }
    m_running.store(false);
    if (failure.isEmpty()) {
      emit finished();
    } else {
      emit failed(failure);
    }
  });
  return true;
}

bool SimulationWorker::startRun(const CheckedRun& run) {
  return start([this, run] {
    RunResult result = runSimulation(run, *this);
    const std::lock_guard lock(m_mutex);
    m_run = std::move(result);
  });
}

bool SimulationWorker::startSweep(const CheckedSweep& sweep) {
  return start([this, sweep] {
    SweepResult result = runSweep(sweep, *this);
    const std::lock_guard lock(m_mutex);
    m_sweep = std::move(result);
  });
}

RunResult SimulationWorker::takeRun() {
  const std::lock_guard lock(m_mutex);
  RunResult taken = m_run ? std::move(*m_run) : RunResult{};
  m_run.reset();
  return taken;
}

SweepResult SimulationWorker::takeSweep() {
  const std::lock_guard lock(m_mutex);
  SweepResult result = m_sweep.value_or(SweepResult{});
  m_sweep.reset();
  return result;
}

void SimulationWorker::progress(const RunProgress& p) {
  emit progressed(p.chains, p.steps, p.chain, p.trials);
}

void SimulationWorker::correlationProgress(float percent) { emit correlationProgressed(percent); }

void SimulationWorker::chainSeemsTrapped(std::int64_t chain, std::int64_t trials) {
  emit chainTrapped(chain, trials);
}

void SimulationWorker::pointStarted(std::size_t index, std::int32_t steps, std::uint64_t seed) {
  emit stepCountStarted(static_cast<int>(index), steps, static_cast<quint64>(seed));
}

void SimulationWorker::pointFinished(std::size_t index, const SweepPoint& point) {
  emit stepCountFinished(static_cast<int>(index), point.stats.rmsEnd.value,
                         point.stats.rmsEnd.standardError);
}

}  // namespace polychain
