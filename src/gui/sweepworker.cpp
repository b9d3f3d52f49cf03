#include "gui/sweepworker.h"

#include <exception>
#include <utility>

namespace polychain {

namespace {
constexpr auto kProgressInterval = std::chrono::milliseconds(50);

QString toQString(std::string_view text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}
}  // namespace

SweepWorker::SweepWorker(QObject* parent) : QObject(parent) {}

SweepWorker::~SweepWorker() {
  cancel();
  wait();
}

bool SweepWorker::start(const SweepParams& params) {
  if (m_running.load()) return false;
  wait();  // a finished sweep's thread may still be on its way out
  m_cancel.store(false);
  m_lastProgress = {};
  m_running.store(true);
  m_thread = std::thread(&SweepWorker::work, this, params);
  return true;
}

void SweepWorker::wait() {
  if (m_thread.joinable()) m_thread.join();
}

SweepOutput SweepWorker::takeOutput() {
  const std::lock_guard lock(m_mutex);
  return std::exchange(m_output, SweepOutput{});
}

void SweepWorker::work(SweepParams params) {
  SweepOutput output;
  QString failure;
  try {
    output = runSweep(params, *this);
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

void SweepWorker::progress(const RunProgress& p) {
  const auto now = std::chrono::steady_clock::now();
  if (p.chains < 100.0f && now - m_lastProgress < kProgressInterval) return;
  m_lastProgress = now;
  emit progressed(p.chains);
}

void SweepWorker::chainSeemsTrapped(std::int64_t chain, std::int64_t trials) {
  emit chainTrapped(chain, trials);
}

void SweepWorker::message(std::string_view title, std::string_view text) {
  emit messageRaised(toQString(title), toQString(text));
}

void SweepWorker::pointStarted(std::size_t index, std::int32_t steps, std::uint64_t seed) {
  emit stepCountStarted(static_cast<int>(index), steps, static_cast<quint64>(seed));
}

void SweepWorker::pointFinished(std::size_t index, const SweepPoint& point) {
  emit stepCountFinished(static_cast<int>(index), point.stats.rmsEnd.value,
                         point.stats.rmsEnd.standardError);
}

}  // namespace polychain
