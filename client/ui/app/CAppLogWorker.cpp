#include "client/ui/app/CAppLogWorker.h"

#include "client/requests/ReportCtrls.h"
#include "platform/ThreadPriority.h"

namespace {}  // namespace

CAppLogWorker::CAppLogWorker() = default;

CAppLogWorker::~CAppLogWorker() { Stop(); }

void CAppLogWorker::Start() {
  std::lock_guard lock(m_mutex);
  if (m_thread.joinable() || m_stop) return;
  m_thread = std::thread([this] { ThreadMain(); });
}

void CAppLogWorker::Queue(const S_OrvAppLogRequestInfo& record) {
  std::lock_guard lock(m_mutex);
  if (m_stop) return;
  m_queue.push_back(record);
  m_wake.notify_one();
}

void CAppLogWorker::Stop() {
  {
    std::lock_guard lock(m_mutex);
    m_stop = true;
    m_abort = true;  // ends the report in flight
    m_wake.notify_all();
  }
  if (m_thread.joinable()) m_thread.join();
}

void CAppLogWorker::ThreadMain() {
  plat::SetCurrentThreadPriority(plat::kThreadPriorityIdle);
  std::unique_lock lock(m_mutex);
  while (!m_stop) {
    std::deque<S_OrvAppLogRequestInfo> taken;
    taken.swap(m_queue);
    if (taken.empty()) {
      // Asleep until a record or the stop arrives: no wake-ups at rest.
      m_wake.wait(lock, [this] { return m_stop || !m_queue.empty(); });
      continue;
    }
    for (const auto& record : taken) {
      if (m_stop) break;
      lock.unlock();
      COrvAppLogCtrl report(record.app, record.appwz, record.appclienttype);
      report.UseAbortFlag(m_abort);
      // A report that got no answer is not sent again: usage records are best effort.
      (void)report.Send();
      lock.lock();
    }
  }
}
