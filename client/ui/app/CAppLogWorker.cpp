#include "client/ui/app/CAppLogWorker.h"

#include <chrono>
#include <vector>

#include "client/requests/ReportCtrls.h"
#include "platform/ThreadPriority.h"

namespace {

// One application-use report whose request can be aborted from another thread: the same
// URL and folder as COrvAppLogCtrl, which sends from its constructor and so cannot be
// reached while it waits.
class AbortableAppLogRequest final : public COrvAppCtrl {
 public:
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
    if (m_current) m_current->Abort();
    m_wake.notify_all();
  }
  if (m_thread.joinable()) m_thread.join();
}

int CAppLogWorker::SentCount() const {
  std::lock_guard lock(m_mutex);
  return m_sent;
}

void CAppLogWorker::ThreadMain() {
  plat::SetCurrentThreadPriority(plat::kThreadPriorityIdle);
  std::unique_lock lock(m_mutex);
  while (!m_stop) {
    std::vector<S_OrvAppLogRequestInfo> taken(m_queue.begin(), m_queue.end());
    m_queue.clear();
    if (taken.empty()) {
      m_wake.wait_for(lock, kIdlePause);
      continue;
    }
    for (const auto& record : taken) {
      if (m_stop) break;
      auto request = std::make_shared<AbortableAppLogRequest>();
      m_current = request;
      lock.unlock();
      request->Send(record);
      lock.lock();
      m_current.reset();
      ++m_sent;
    }
  }
}
