#include "client/ui/shell/CoreCall.h"

#include <QCoreApplication>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace shell {
namespace {

// Calls block on servers that may never answer, so the pool is wider than the machine:
// one silent server must not hold back the calls of another.
constexpr int kWorkers = 16;

struct Registry {
  std::mutex mutex;
  std::condition_variable idle;  // signalled when `running` drops to 0
  std::vector<std::weak_ptr<CallState>> calls;
  int running = 0;
};

Registry& Calls() {
  static Registry registry;
  return registry;
}

// The workers: started as calls need them, up to kWorkers, and kept until the end. They are
// plain threads joined by Stop, so that when it returns each has fully ended, its per-thread
// state (OpenSSL's among it) released; a pool that reports its threads done before they have
// exited lets a worker outlive the library's exit handler and leaves that state behind.
class Workers {
 public:
  ~Workers() { Stop(); }

  void Start(std::function<void()> task) {
    std::lock_guard lock(m_mutex);
    m_queue.push_back(std::move(task));
    if (m_idle == 0 && static_cast<int>(m_threads.size()) < kWorkers)
      m_threads.emplace_back([this] { Run(); });
    else
      m_wake.notify_one();
  }

  // Lets the queued calls finish, then joins every worker.
  void Stop() {
    std::vector<std::thread> threads;
    {
      std::lock_guard lock(m_mutex);
      m_stopping = true;
      threads.swap(m_threads);
    }
    m_wake.notify_all();
    for (std::thread& t : threads) t.join();
    std::lock_guard lock(m_mutex);
    m_stopping = false;  // a call submitted later starts a new worker
  }

 private:
  void Run() {
    std::unique_lock lock(m_mutex);
    for (;;) {
      ++m_idle;
      m_wake.wait(lock, [this] { return !m_queue.empty() || m_stopping; });
      --m_idle;
      if (m_queue.empty()) return;  // stopping, nothing left
      std::function<void()> task = std::move(m_queue.front());
      m_queue.pop_front();
      lock.unlock();
      task();
      task = nullptr;
      lock.lock();
    }
  }

  std::mutex m_mutex;
  std::condition_variable m_wake;
  std::deque<std::function<void()>> m_queue;
  std::vector<std::thread> m_threads;
  int m_idle = 0;
  bool m_stopping = false;
};

// Aborts what is still in flight and joins every worker. Runs when the application object
// is destroyed, so the workers end before the exit handlers run.
void EndWorkers();

// Created with its first call. Its workers are joined by EndWorkers when the application
// object goes, and otherwise by its destructor when the program ends.
Workers& Pool() {
  static Workers pool;
  static const bool registered = [] {
    qAddPostRoutine(&EndWorkers);
    return true;
  }();
  (void)registered;
  return pool;
}

void EndWorkers() {
  AbortAllCalls();
  Pool().Stop();
}

}  // namespace

namespace detail {

void Submit(const std::shared_ptr<CallState>& state, std::function<void()> task) {
  Registry& registry = Calls();
  {
    std::lock_guard lock(registry.mutex);
    auto& calls = registry.calls;
    calls.erase(
        std::remove_if(calls.begin(), calls.end(), [](const auto& c) { return c.expired(); }),
        calls.end());
    calls.push_back(state);
    ++registry.running;
  }
  Pool().Start([task = std::move(task)]() mutable {
    task();
    task = nullptr;  // the call's state goes with its last holder
    Registry& r = Calls();
    std::lock_guard lock(r.mutex);
    if (--r.running == 0) r.idle.notify_all();
  });
}

}  // namespace detail

void AbortAllCalls() {
  std::vector<std::shared_ptr<CallState>> calls;
  {
    Registry& registry = Calls();
    std::lock_guard lock(registry.mutex);
    for (const auto& weak : registry.calls)
      if (auto state = weak.lock()) calls.push_back(state);
  }
  for (const auto& state : calls) state->Abort();
}

bool WaitForCalls(int ms) {
  Registry& registry = Calls();
  std::unique_lock lock(registry.mutex);
  return registry.idle.wait_for(lock, std::chrono::milliseconds(ms),
                                [&] { return registry.running == 0; });
}

int CallsInFlight() {
  Registry& registry = Calls();
  std::lock_guard lock(registry.mutex);
  return registry.running;
}

}  // namespace shell
