// Writes the export's files on a thread of its own and reports back through queued signals, so
// that the window stays responsive while a long chain is written. cancel() may be called from
// any thread: the export then stops within a piece of its file and replaces no file.
#pragma once

#include <QObject>
#include <atomic>
#include <mutex>
#include <string>
#include <thread>

#include "polychain/export.h"

namespace polychain {

class ExportWorker final : public QObject {
  Q_OBJECT

 public:
  explicit ExportWorker(QObject* parent = nullptr);
  ~ExportWorker() override;  // cancels an export in progress and waits for its thread

  // Starts writing `choice` of `data` under `chosenName` (exportFiles); false (and nothing
  // happens) while an export is going on.
  bool start(const ExportData& data, const ExportChoice& choice, const std::string& chosenName);
  bool running() const { return m_running.load(); }
  void cancel() { m_cancel.store(true); }
  // Blocks until the export's thread has ended (at once when there is none).
  void wait();
  // What the last export did; once `finished` has been emitted.
  ExportReport takeReport();

 signals:
  // The share of the export written, 0 to 100, a few dozen times a second at most.
  void progressed(int percent);
  // The export ended, written, failed or cancelled; takeReport() says how. Once per start.
  void finished();

 private:
  std::thread m_thread;
  std::atomic<bool> m_running{false};
  std::atomic<bool> m_cancel{false};
  std::mutex m_mutex;  // guards the report
  ExportReport m_report;
};

}  // namespace polychain
