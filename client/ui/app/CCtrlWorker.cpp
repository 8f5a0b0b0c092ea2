#include "client/ui/app/CCtrlWorker.h"

#include <QCoreApplication>
#include <QThread>

#include "client/requests/COrvAppCtrl.h"
#include "platform/ThreadPriority.h"

CCtrlWorker::~CCtrlWorker() {
  Abort();
  Join();
}

bool CCtrlWorker::Start(std::shared_ptr<COrvAppCtrl> controller, std::function<void()> work) {
  if (Running()) return false;
  if (m_thread.joinable()) m_thread.join();  // ended; only its handle is left
  m_controller = std::move(controller);
  m_done = std::make_shared<std::atomic<bool>>(false);
  m_thread = std::thread([done = m_done, keep = m_controller, work = std::move(work)] {
    plat::SetCurrentThreadPriority(plat::kThreadPriorityIdle);
    work();
    *done = true;
  });
  return true;
}

void CCtrlWorker::Abort() {
  if (m_controller) m_controller->Abort();
}

bool CCtrlWorker::Join(std::chrono::milliseconds limit) {
  if (!m_thread.joinable()) return true;
  auto end = std::chrono::steady_clock::now() + limit;
  QCoreApplication* app = QCoreApplication::instance();
  bool onAppThread = app != nullptr && QThread::currentThread() == app->thread();
  while (!*m_done && std::chrono::steady_clock::now() < end) {
    if (onAppThread) QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents, 10);
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  if (*m_done) {
    m_thread.join();
    return true;
  }
  m_thread.detach();
  return false;
}
