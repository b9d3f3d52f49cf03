#include "gui/runworker.h"
#include "gui/qtext.h"

#include <optional>
#include <string>

namespace polychain {

namespace {
constexpr auto kProgressInterval = std::chrono::milliseconds(30);

}  // namespace

RunWorker::RunWorker(QObject* parent) : QObject(parent) {}

RunWorker::~RunWorker() {
  cancel();
  wait();
}

bool RunWorker::start(const RunParams& params) {
  if (m_job.running()) return false;
  m_cancel.store(false);
  m_lastProgress = {};
  m_lastCorrelation = {};
  return m_job.start([this, params] { return runSimulation(params, *this); },
                     [this](const std::optional<std::string>& failure) {
                       if (failure) {
                         emit failed(QString::fromStdString(*failure));
                       } else {
                         emit finished();
                       }
                     });
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
  emit messageRaised(qs(title), qs(text));
}

}  // namespace polychain
