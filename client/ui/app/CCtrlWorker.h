#pragma once
// One background request of the main window (advertisement list, customer-service list):
// a thread at idle priority that runs one controller and hands its result on. The
// controller can be aborted from the main thread, and Join waits for the thread while the
// main thread keeps serving the calls the worker may be blocked in (icon downloads ask the
// window on its thread).
#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <thread>

class COrvAppCtrl;

class CCtrlWorker final {
 public:
  CCtrlWorker() = default;
  ~CCtrlWorker();  // Abort(), then Join()
  CCtrlWorker(const CCtrlWorker&) = delete;
  CCtrlWorker& operator=(const CCtrlWorker&) = delete;

  // Runs work(controller) on a new thread unless one is running. False when one runs.
  bool Start(std::shared_ptr<COrvAppCtrl> controller, std::function<void()> work);
  bool Running() const { return m_done && !m_done->load(); }
  // Ends the controller's request in flight.
  void Abort();
  // Main thread: waits up to `limit` for the thread, processing events meanwhile; a thread
  // still running then is left to end on its own. True when it ended.
  bool Join(std::chrono::milliseconds limit = std::chrono::milliseconds(2000));

 private:
  std::shared_ptr<COrvAppCtrl> m_controller;
  std::shared_ptr<std::atomic<bool>> m_done;
  std::thread m_thread;
};
