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
  std::unique_lock<std::mutex> lock(m_liveMutex);
  m_liveChanged.wait(lock, [this] { return m_live == 0; });
}

bool CUpdateChecker::StartUpdateCheck(bool userRequested) {
  m_userRequested = userRequested;
  return StartCheckThread();
}

bool CUpdateChecker::StartCheckThread() {
  bool expected = false;
  if (!m_running.compare_exchange_strong(expected, true)) return false;
  {
    std::lock_guard<std::mutex> lock(m_liveMutex);
    ++m_live;
  }
  // Detached: the result is delivered by a blocking call into the main window, which may
  // itself start the next check meanwhile (a prompt's nested event loop), so nobody joins.
  std::thread(&CUpdateChecker::Run, this).detach();
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
