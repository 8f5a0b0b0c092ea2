#pragma once
// The app-log worker: sends the queued application-use records to the log server, one
// request at a time, at idle priority. Records come from the main thread (QueueAppLog);
// Stop() ends the request in flight at once, so closing the window never waits for a
// silent log server.
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

#include "client/base/RequestResult.h"
#include "client/requests/OrvAppInfo.h"

class CAppLogWorker final {
 public:
  CAppLogWorker();
  ~CAppLogWorker();  // Stop()
  CAppLogWorker(const CAppLogWorker&) = delete;
  CAppLogWorker& operator=(const CAppLogWorker&) = delete;

  // Starts the worker (once).
  void Start();
  // Any thread: appends a record for the worker.
  void Queue(const S_OrvAppLogRequestInfo& record);
  // Sets the stop flag, aborts the request in flight, and waits for the worker to end.
  // Records still queued are dropped.
  void Stop();

 private:
  void ThreadMain();

  std::mutex m_mutex;
  std::condition_variable m_wake;
  std::deque<S_OrvAppLogRequestInfo> m_queue;
  bool m_stop = false;
  // Watched by every report the worker sends; raised by Stop().
  AbortFlag m_abort{false};
  std::thread m_thread;
};
