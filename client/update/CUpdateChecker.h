#pragma once
// Runs update checks on one worker thread at a time and reports each result.
#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

class IUpdateCheckSink {
 public:
  virtual ~IUpdateCheckSink() = default;
  // Worker thread, after the check: the result code and the user-requested flag as it
  // stands now. The main window hands this to its own thread and waits for it there.
  virtual void OnUpdateCheckFinished(int code, bool userRequested) = 0;
};

class CUpdateChecker final {
 public:
  // check: the blocking check (the update server's, CheckForUpdate, by default).
  explicit CUpdateChecker(IUpdateCheckSink& sink, std::function<int()> check = {});
  // Aborts the default check's transfer in progress (its result is then kUpdateNoAnswer)
  // and waits until every worker has delivered its result: destroy it only where the sink
  // no longer blocks.
  ~CUpdateChecker();
  CUpdateChecker(const CUpdateChecker&) = delete;
  CUpdateChecker& operator=(const CUpdateChecker&) = delete;

  // Records the flag and starts a check unless one is running. True when started.
  bool StartUpdateCheck(bool userRequested);
  // Starts a check with the flag of the most recent StartUpdateCheck (the delayed check).
  bool StartCheckThread();

  bool Running() const { return m_running.load(); }
  bool UserRequested() const { return m_userRequested.load(); }

 private:
  void Run();

  IUpdateCheckSink& m_sink;
  std::function<int()> m_check;
  std::atomic<bool> m_userRequested{false};
  std::atomic<bool> m_running{false};
  // Raised by the destructor: ends the default check's transfer.
  std::atomic<bool> m_abort{false};
  // Workers still alive (a finished check may still be delivering its result while the
  // next one starts); the destructor waits for none to be left.
  std::mutex m_liveMutex;
  std::condition_variable m_liveChanged;
  int m_live = 0;
  // The workers' threads, joined once they have delivered (under m_liveMutex): a worker
  // still releases the mutex after its count went down, so the checker, its mutex and the
  // process itself must outlast that.
  std::vector<std::thread> m_workers;
};
