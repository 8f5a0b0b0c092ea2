#include "client/update/CUpdateChecker.h"

#include <thread>

#include "client/update/UpdateCheck.h"
#include "platform/ThreadPriority.h"

CUpdateChecker::CUpdateChecker(IUpdateCheckSink& sink, std::function<int()> check)
    : m_sink(sink), m_check(check ? std::move(check) : std::function<int()>([this] {
        // CheckForUpdate, ended early when the checker goes away.
        return CheckForUpdateDetailed({}, &m_abort).code;
      })) {}

CUpdateChecker::~CUpdateChecker() {
  m_abort = true;
  std::vector<std::thread> workers;
  {
    std::unique_lock<std::mutex> lock(m_liveMutex);
    m_liveChanged.wait(lock, [this] { return m_live == 0; });
    workers.swap(m_workers);
  }
  for (std::thread& worker : workers) worker.join();
}

bool CUpdateChecker::StartUpdateCheck(bool userRequested) {
  m_userRequested = userRequested;
  return StartCheckThread();
}

bool CUpdateChecker::StartCheckThread() {
  bool expected = false;
  if (!m_running.compare_exchange_strong(expected, true)) return false;
  // A worker's result is delivered by a blocking call into the main window, which may itself
  // start the next check meanwhile (a prompt's nested event loop): a worker is joined only
  // once every worker has delivered, when all that is left of it is its end.
  std::vector<std::thread> ended;
  {
    std::lock_guard<std::mutex> lock(m_liveMutex);
    if (m_live == 0) ended.swap(m_workers);
    ++m_live;
    m_workers.emplace_back(&CUpdateChecker::Run, this);
  }
  for (std::thread& worker : ended) worker.join();
  return true;
}

void CUpdateChecker::Run() {
  plat::SetCurrentThreadPriority(plat::kThreadPriorityIdle);
  int code = m_check();
  // A later start is accepted from here on, while this result is being delivered.
  m_running = false;
  m_sink.OnUpdateCheckFinished(code, m_userRequested.load());
  std::lock_guard<std::mutex> lock(m_liveMutex);
  --m_live;
  m_liveChanged.notify_all();
}
