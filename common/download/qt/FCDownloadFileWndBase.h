#pragma once
// Window base for Qt dialogs that own downloads: derive from FCDownloadFileWndBase<QDialog>
// (or any QWidget class), start downloads with DownloadFile and override the hooks you need.
// OnCheckTime is pure; the other five do nothing here.
//
// Threads: hooks run on the window's (GUI) thread while the worker waits for them. Once the
// window is being destroyed every hook call is skipped and answers 0. DownloadFile may be
// called from any thread and never waits for the GUI thread (the worker registry is
// thread-safe), so a GUI thread that ends the window's ProcessDownloadWindowScope while a
// request thread starts a banner download cannot deadlock.
//
// Destruction: the window detaches from its workers, then waits up to 10 s for each of them
// (a running worker sees the owner gone and ends its transfer), and abandons any that is
// still running; an abandoned worker can never reach the window again. A deriving window
// whose own members are used by its hooks should call EndDownloads() first in its destructor.
//
// Worker kind: HTTP by default. The updater's dialog, which fetches its installer over FTP,
// calls SetDownloadWorkerKind(DownloadWorkerKind::Ftp) in its constructor (before its first
// DownloadFile); the FTP worker makes one attempt and sends ERROR on any failure.
//
// Link with the CMake target orvdownload_qt.
#include <QMetaObject>
#include <QThread>

#include <atomic>
#include <chrono>
#include <memory>
#include <string>
#include <utility>

#include "common/download/DownloadHooks.h"
#include "common/download/DownloadJob.h"
#include "common/download/DownloadOwnerLink.h"
#include "common/download/DownloadStarter.h"
#include "common/download/DownloadThreadRegistry.h"

template <class Dialog>
class FCDownloadFileWndBase : public Dialog, public IDownloadHooks, public IDownloadStarter {
 public:
  template <class... Args>
  explicit FCDownloadFileWndBase(Args&&... args) : Dialog(std::forward<Args>(args)...) {
    // A worker's send becomes a queued call onto this window's thread; the link refuses to
    // post once the window has detached, so nothing is posted to a dead object.
    m_link = std::make_shared<DownloadOwnerLink>([this](std::function<void()> task, bool) {
      QMetaObject::invokeMethod(this, std::move(task), Qt::QueuedConnection);
    });
  }

  ~FCDownloadFileWndBase() override { EndDownloads(); }

  FCDownloadFileWndBase(const FCDownloadFileWndBase&) = delete;
  FCDownloadFileWndBase& operator=(const FCDownloadFileWndBase&) = delete;

  // Starts one worker for url into localPath (full native path) with the given Windows thread
  // priority (-15 idle for installers, 0 icons, 1 banner images). 0 for an empty url or a url
  // that is still downloading; 1 when a worker started.
  int DownloadFile(const std::string& url, const std::string& localPath, int priority) override {
    if (m_ended) return 0;
    return m_workers.Start(m_kind, DownloadJob{m_link, this, url, localPath, priority});
  }

  bool IsDownloading(const std::string& url) const { return m_workers.IsRunning(url); }

 protected:
  void SetDownloadWorkerKind(DownloadWorkerKind kind) { m_kind = kind; }
  DownloadWorkerKind GetDownloadWorkerKind() const { return m_kind; }

  // Detaches from the workers and ends them (see the top of this file). Idempotent.
  void EndDownloads(std::chrono::milliseconds perWorker = std::chrono::milliseconds(10000)) {
    if (m_ended.exchange(true)) return;
    m_link->Detach();
    m_workers.EndAll(perWorker);
  }

 private:
  DownloadWorkerKind m_kind = DownloadWorkerKind::Http;  // set in the constructor only
  std::atomic<bool> m_ended{false};
  std::shared_ptr<DownloadOwnerLink> m_link;
  DownloadThreadRegistry m_workers;
};
