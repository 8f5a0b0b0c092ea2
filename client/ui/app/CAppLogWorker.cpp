#include "client/ui/app/CAppLogWorker.h"

#include <chrono>

#include "client/requests/ReportCtrls.h"
#include "platform/ThreadPriority.h"

namespace {

// One application-use report that watches the worker's abort flag: the same URL and
// folder as COrvAppLogCtrl, which sends from its constructor, before a flag could be handed
// to it.
class AbortableAppLogRequest final : public COrvAppCtrl {
 public:
  explicit AbortableAppLogRequest(AbortFlag& abort) { UseAbortFlag(abort); }
  void Parse() override {}
  int GetKind() const override { return 2; }
  void Send(const S_OrvAppLogRequestInfo& record) {
    Run(COrvAppLogCtrl::UrlFor(
            COrvAppLogCtrl::Body(record.app, record.appwz, record.appclienttype)),
        COrvAppLogCtrl::kFolder);
  }
};

// An empty queue is looked at again after this pause.
constexpr auto kIdlePause = std::chrono::milliseconds(55);

}  // namespace

CAppLogWorker::CAppLogWorker() = default;

CAppLogWorker::~CAppLogWorker() { Stop(); }

void CAppLogWorker::Start() {
  std::lock_guard lock(m_mutex);
  if (m_thread.joinable() || m_stop) return;
  m_thread = std::thread([this] { ThreadMain(); });
}

void CAppLogWorker::Queue(const S_OrvAppLogRequestInfo& record) {
  std::lock_guard lock(m_mutex);
  if (!m_stop) m_queue.push_back(record);
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
      m_wake.wait_for(lock, kIdlePause);
      continue;
    }
    for (const auto& record : taken) {
      if (m_stop) break;
      lock.unlock();
      AbortableAppLogRequest(m_abort).Send(record);
      lock.lock();
    }
  }
}
