#include "gui/exportworker.h"

#include <chrono>
#include <cmath>
#include <exception>
#include <new>
#include <utility>

namespace polychain {

ExportWorker::ExportWorker(QObject* parent) : QObject(parent) {}

ExportWorker::~ExportWorker() {
  cancel();
  wait();
}

void ExportWorker::wait() {
  if (m_thread.joinable()) m_thread.join();
}

bool ExportWorker::start(const ExportData& data, const ExportChoice& choice,
                         const std::string& chosenName) {
  if (m_running.load()) return false;
  wait();  // a finished export's thread may still be on its way out
  m_cancel.store(false);
  m_running.store(true);
  m_thread = std::thread([this, data, choice, chosenName] {
    using Clock = std::chrono::steady_clock;
    Clock::time_point shown{};
    int shownPercent = -1;
    ExportReport report;
    try {
      report = exportFiles(data, choice, chosenName, 0, [&](double done) {
        const int percent = static_cast<int>(std::lround(done * 100));
        const Clock::time_point now = Clock::now();
        if (percent != shownPercent && now - shown >= std::chrono::milliseconds(30)) {
          shown = now;
          shownPercent = percent;
          emit progressed(percent);
        }
        return !m_cancel.load(std::memory_order_relaxed);
      });
    } catch (const std::bad_alloc&) {
      report.writeFailed = true;
      report.notes.push_back("The export ran out of memory; no file was replaced.");
    } catch (const std::exception& error) {
      report.writeFailed = true;
      report.notes.push_back(std::string("The export failed: ") + error.what());
    }
    {
      const std::lock_guard lock(m_mutex);
      m_report = std::move(report);
    }
    m_running.store(false);
    emit finished();
  });
  return true;
}

ExportReport ExportWorker::takeReport() {
  const std::lock_guard lock(m_mutex);
  return std::exchange(m_report, ExportReport{});
}

}  // namespace polychain
