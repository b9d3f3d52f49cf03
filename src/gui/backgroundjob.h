// One piece of long work at a time on a thread of its own, its output kept until the window
// takes it. The workers that own one add the cancel flag and the signals.
#pragma once

#include <atomic>
#include <exception>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <utility>

namespace polychain {

template <typename Output>
class BackgroundJob {
 public:
  BackgroundJob() = default;
  BackgroundJob(const BackgroundJob&) = delete;
  BackgroundJob& operator=(const BackgroundJob&) = delete;
  ~BackgroundJob() { wait(); }  // the owner asks the work to stop first

  bool running() const { return m_running.load(); }

  // Runs `work()` on a new thread and keeps what it returns; then calls `done` on that
  // thread with the message of the exception `work` threw, or nothing when it returned.
  // False (and nothing happens) while an earlier job is still running.
  template <typename Work, typename Done>
  bool start(Work work, Done done) {
    if (m_running.load()) return false;
    wait();  // a finished job's thread may still be on its way out
    m_running.store(true);
    m_thread = std::thread([this, work = std::move(work), done = std::move(done)]() mutable {
      Output output;
      std::optional<std::string> failure;
      try {
        output = work();
      } catch (const std::exception& error) {
        failure = error.what();
      }
      {
        const std::lock_guard lock(m_mutex);
        m_output = std::move(output);
      }
      m_running.store(false);
      done(failure);
    });
    return true;
  }

  // Blocks until the job's thread has ended (at once when there is none).
  void wait() {
    if (m_thread.joinable()) m_thread.join();
  }

  // The last job's output, once it has ended.
  Output take() {
    const std::lock_guard lock(m_mutex);
    return std::exchange(m_output, Output{});
  }

 private:
  std::thread m_thread;
  std::atomic<bool> m_running{false};
  std::mutex m_mutex;  // guards m_output
  Output m_output;
};

}  // namespace polychain
