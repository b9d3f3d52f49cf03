#include "gui/sweepworker.h"
#include "gui/qtext.h"

#include <optional>
#include <string>

namespace polychain {

namespace {
constexpr auto kProgressInterval = std::chrono::milliseconds(50);

}  // namespace

SweepWorker::SweepWorker(QObject* parent) : QObject(parent) {}

SweepWorker::~SweepWorker() {
  cancel();
  wait();
}

bool SweepWorker::start(const SweepParams& params) {
  if (m_job.running()) return false;
  m_cancel.store(false);
  m_lastProgress = {};
  return m_job.start([this, params] { return runSweep(params, *this); },
                     [this](const std::optional<std::string>& failure) {
                       if (failure) {
                         emit failed(QString::fromStdString(*failure));
                       } else {
                         emit finished();
                       }
                     });
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
  emit messageRaised(qs(title), qs(text));
}

void SweepWorker::pointStarted(std::size_t index, std::int32_t steps, std::uint64_t seed) {
  emit stepCountStarted(static_cast<int>(index), steps, static_cast<quint64>(seed));
}

void SweepWorker::pointFinished(std::size_t index, const SweepPoint& point) {
  emit stepCountFinished(static_cast<int>(index), point.stats.rmsEnd.value,
                         point.stats.rmsEnd.standardError);
}

}  // namespace polychain
