#include "gui/runworker.h"

#include <exception>
#include <utility>

namespace polychain {

namespace {
constexpr auto kProgressInterval = std::chrono::milliseconds(30);

QString toQString(std::string_view text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}
}  // namespace

RunWorker::RunWorker(QObject* parent) : QObject(parent) {}

RunWorker::~RunWorker() {
  cancel();
  wait();
}

bool RunWorker::start(const RunParams& params) {
  if (m_running.load()) return false;
  wait();  // a finished run's thread may still be on its way out
  m_cancel.store(false);
  m_lastProgress = {};
  m_lastCorrelation = {};
  m_running.store(true);
  m_thread = std::thread(&RunWorker::work, this, params);
  return true;
}

void RunWorker::wait() {
  if (m_thread.joinable()) m_thread.join();
}

RunOutput RunWorker::takeOutput() {
  const std::lock_guard lock(m_mutex);
  return std::exchange(m_output, RunOutput{});
}

void RunWorker::work(RunParams params) {
  RunOutput output;
  QString failure;
  try {
    output = runSimulation(params, *this);
  } catch (const std::exception& error) {
    failure = QString::fromUtf8(error.what());
  }
  {
    const std::lock_guard lock(m_mutex);
    m_output = std::move(output);
  }
  m_running.store(false);
  if (failure.isEmpty()) {
    emit finished();
  } else {
    emit failed(failure);
  }
}

bool RunWorker::due(std::chrono::steady_clock::time_point& last) {
  const auto now = std::chrono::steady_clock::now();
  if (now - last < kProgressInterval) return false;
  last = now;
  return true;
}

void RunWorker::progress(const RunProgress& p) {
  if (p.chains < 100.0f && !due(m_lastProgress)) return;
  emit progressed(p.chains, p.steps, p.chain, p.trials);
}

void RunWorker::correlationProgress(float percent) {
  if (percent < 100.0f && !due(m_lastCorrelation)) return;
  emit correlationProgressed(percent);
}

void RunWorker::chainSeemsTrapped(std::int64_t chain, std::int64_t trials) {
  emit chainTrapped(chain, trials);
}

void RunWorker::message(std::string_view title, std::string_view text) {
  emit messageRaised(toQString(title), toQString(text));
}

}  // namespace polychain
