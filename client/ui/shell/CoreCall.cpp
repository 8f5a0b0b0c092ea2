#include "client/ui/shell/CoreCall.h"

#include <QCoreApplication>
#include <QThreadPool>

#include <algorithm>
#include <vector>

namespace shell {
namespace {

// Calls block on servers that may never answer, so the pool is wider than the machine:
// one silent server must not hold back the calls of another.
constexpr int kWorkers = 16;

struct Registry {
  std::mutex mutex;
  std::vector<std::weak_ptr<CallState>> calls;
  int running = 0;
};

Registry& Calls() {
  static Registry registry;
  return registry;
}

// Aborts what is still in flight and joins every worker. Runs when the application object
// is destroyed, so the workers end before the exit handlers run: a worker ending after
// OpenSSL's own handler would leave its per-thread state behind.
void EndWorkers();

// Created with its first call. Its workers are joined by EndWorkers when the application
// object goes, and otherwise by the pool's destructor when the program ends.
QThreadPool& Pool() {
  static QThreadPool pool;
  static const bool sized = [] {
    pool.setMaxThreadCount(kWorkers);
    qAddPostRoutine(&EndWorkers);
    return true;
  }();
  (void)sized;
  return pool;
}

void EndWorkers() {
  AbortAllCalls();
  Pool().waitForDone();
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
  Pool().start([task = std::move(task)]() mutable {
    task();
    task = nullptr;  // the call's state goes with its last holder
    Registry& r = Calls();
    std::lock_guard lock(r.mutex);
    --r.running;
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

bool WaitForCalls(int ms) { return Pool().waitForDone(ms); }

int CallsInFlight() {
  Registry& registry = Calls();
  std::lock_guard lock(registry.mutex);
  return registry.running;
}

}  // namespace shell
