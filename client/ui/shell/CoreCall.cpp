#include "client/ui/shell/CoreCall.h"

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

// Its workers are joined when the program ends (after the window aborted every call).
QThreadPool& Pool() {
  static QThreadPool pool;
  static const bool sized = [] {
    pool.setMaxThreadCount(kWorkers);
    return true;
  }();
  (void)sized;
  return pool;
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
