#include "common/download/HeadlessDownloadWindow.h"

#include "common/download/DownloadOwnerLink.h"

HeadlessDownloadWindow::HeadlessDownloadWindow(DownloadWorkerKind kind) : m_kind(kind) {
  m_link = std::make_shared<DownloadOwnerLink>([this](std::function<void()> task, bool urgent) {
    std::lock_guard lock(m_queueMutex);
    m_queue.push_back(std::move(task));
    if (urgent || m_sleeping) m_queueChanged.notify_one();
  });
  m_dispatch = std::thread([this] { DispatchLoop(); });
}

HeadlessDownloadWindow::~HeadlessDownloadWindow() { EndDownloads(); }

int HeadlessDownloadWindow::DownloadFile(const std::string& url, const std::string& localPath,
                                         int priority) {
  {
    std::lock_guard lock(m_queueMutex);
    if (m_ended) return 0;
  }
  return m_workers.Start(m_kind, DownloadJob{m_link, this, url, localPath, priority});
}

bool HeadlessDownloadWindow::IsDownloading(const std::string& url) const {
  return m_workers.IsRunning(url);
}

bool HeadlessDownloadWindow::WaitIdle(std::chrono::milliseconds timeout) {
  auto end = std::chrono::steady_clock::now() + timeout;
  while (m_workers.RunningCount() != 0) {
    if (std::chrono::steady_clock::now() >= end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return true;
}

void HeadlessDownloadWindow::EndDownloads(std::chrono::milliseconds perWorker) {
  {
    std::lock_guard lock(m_queueMutex);
    if (m_ended) return;
    m_ended = true;
  }
  m_link->Detach();
  m_workers.EndAll(perWorker);
  {
    std::lock_guard lock(m_queueMutex);
    m_stopping = true;
    m_queueChanged.notify_one();
  }
  if (m_dispatch.joinable()) m_dispatch.join();
}

void HeadlessDownloadWindow::OnCheckTime(std::string, std::string) {}

bool HeadlessDownloadWindow::OnDispatchThread() const {
  return std::this_thread::get_id() == m_dispatch.get_id();
}

void HeadlessDownloadWindow::DispatchLoop() {
  for (;;) {
    std::function<void()> task;
    {
      std::unique_lock lock(m_queueMutex);
      auto ready = [&] { return m_stopping || !m_queue.empty(); };
      // Linger before sleeping: tasks that are not urgent arrive in runs (PROGRESS of a fast
      // download) and are then taken in batches instead of one thread switch each.
      if (!ready()) m_queueChanged.wait_for(lock, kLinger, ready);
      if (!ready()) {
        m_sleeping = true;
        m_queueChanged.wait(lock, ready);
        m_sleeping = false;
      }
      if (m_queue.empty()) return;
      task = std::move(m_queue.front());
      m_queue.pop_front();
    }
    task();  // after the detach a task only marks its call skipped
  }
}
