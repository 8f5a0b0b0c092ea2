#pragma once
// The one way the window runs a core call: the call runs on a worker of the shell's pool and
// watches an abort flag; its result (the RequestResult and the value, as one CallResult)
// reaches the GUI thread through a queued call bound to the receiving QObject's lifetime.
// A receiver that is gone receives nothing, and its calls in flight are aborted. Nothing
// here waits on the GUI thread: no nested event loop, no polling, no detached thread.
//
//   shell::RunCoreCall(page, [kind](AbortFlag& abort) { return Fetch(kind, abort); },
//                      [page](CallResult<AppList> done) { page->Fill(done); });
#include <QMetaObject>
#include <QObject>

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <type_traits>
#include <utility>

#include "client/base/RequestResult.h"

namespace shell {

// What a call and its receiver share. The receiver's destruction (GUI thread) and the
// worker's hand-over of the result meet under the mutex, so a result is never posted to a
// receiver that is being destroyed.
class CallState {
 public:
  explicit CallState(QObject* receiver) : m_receiver(receiver) {}
  AbortFlag& Flag() { return m_abort; }
  // Raises the flag; the result will not be delivered.
  void Abort() {
    std::lock_guard lock(m_mutex);
    m_abort = true;
  }
  bool Aborted() const { return m_abort.load(); }
  // GUI thread: the result was handed over (or dropped).
  void Finish() { m_finished = true; }
  bool Finished() const { return m_finished.load(); }

  // Worker: posts `deliver` to the receiver unless it is gone or the call was aborted.
  // Posts reach the receiver in the order they were made.
  void Post(std::function<void()> deliver) {
    std::lock_guard lock(m_mutex);
    if (m_receiver == nullptr || m_abort) return;
    QMetaObject::invokeMethod(m_receiver, std::move(deliver), Qt::QueuedConnection);
  }
  // GUI thread, from the receiver's destroyed signal.
  void ReceiverGone() {
    std::lock_guard lock(m_mutex);
    m_receiver = nullptr;
    m_abort = true;
  }
  QMetaObject::Connection watch;  // the receiver's destroyed signal; dropped on delivery

 private:
  std::mutex m_mutex;
  QObject* m_receiver;
  AbortFlag m_abort{false};
  std::atomic<bool> m_finished{false};
};

// A call in flight, for its caller: Abort() ends it and drops its result.
class CallHandle {
 public:
  CallHandle() = default;
  explicit CallHandle(std::shared_ptr<CallState> state) : m_state(std::move(state)) {}
  void Abort() const {
    if (auto state = m_state.lock()) state->Abort();
  }
  // True until the result was delivered or the call aborted.
  bool Pending() const {
    auto state = m_state.lock();
    return state && !state->Finished() && !state->Aborted();
  }

 private:
  std::weak_ptr<CallState> m_state;
};

namespace detail {
// Runs `task` on a worker of the shell's pool; tracks `state` for AbortAllCalls.
void Submit(const std::shared_ptr<CallState>& state, std::function<void()> task);
}  // namespace detail

// What a call with progress hands its work besides the abort flag: Post queues a change for
// the receiver's thread, dropped once the receiver is gone or the call aborted.
class CallProgress {
 public:
  explicit CallProgress(std::shared_ptr<CallState> state) : m_state(std::move(state)) {}
  void Post(std::function<void()> change) const {
    m_state->Post([state = m_state, change = std::move(change)] {
      if (!state->Aborted()) change();
    });
  }

 private:
  std::shared_ptr<CallState> m_state;
};

namespace detail {
// Binds a new call to `receiver`, runs run(state) on a worker and hands the CallResult it
// returns to done(result) on the receiver's thread.
template <class Run, class Done>
CallHandle Start(QObject* receiver, Run run, Done done) {
  auto state = std::make_shared<CallState>(receiver);
  std::weak_ptr<CallState> weak = state;
  state->watch = QObject::connect(receiver, &QObject::destroyed, [weak] {
    if (auto s = weak.lock()) s->ReceiverGone();
  });
  Submit(state, [state, run = std::move(run), done = std::move(done)]() mutable {
    if (state->Aborted()) return;
    using Result = std::invoke_result_t<Run&, const std::shared_ptr<CallState>&>;
    auto result = std::make_shared<Result>(run(state));
    state->Post([state, result, done = std::move(done)]() mutable {
      QObject::disconnect(state->watch);
      state->Finish();
      if (!state->Aborted()) done(std::move(*result));
    });
  });
  return CallHandle(state);
}
}  // namespace detail

// Runs work(abort) on a worker and hands its CallResult to done(result) on the receiver's
// thread, unless the receiver is gone or the call was aborted first.
template <class Work, class Done>
CallHandle RunCoreCall(QObject* receiver, Work work, Done done) {
  return detail::Start(
      receiver,
      [work = std::move(work)](const std::shared_ptr<CallState>& state) mutable {
        return work(state->Flag());
      },
      std::move(done));
}

// RunCoreCall for a call that also reports progress: work(abort, progress) may post changes
// for the receiver's thread; its result reaches the receiver after them.
template <class Work, class Done>
CallHandle RunCoreCallWithProgress(QObject* receiver, Work work, Done done) {
  return detail::Start(
      receiver,
      [work = std::move(work)](const std::shared_ptr<CallState>& state) mutable {
        return work(state->Flag(), CallProgress(state));
      },
      std::move(done));
}

// A long-lived line from a thread of the core (a watcher, the push channel, the update
// check) to a receiver on the GUI thread: Post queues a change for the receiver's thread and
// returns at once; once the receiver is gone or the inbox closed, posts are dropped.
class Inbox {
 public:
  explicit Inbox(QObject* receiver) : m_state(std::make_shared<CallState>(receiver)) {
    std::weak_ptr<CallState> weak = m_state;
    m_state->watch = QObject::connect(receiver, &QObject::destroyed, [weak] {
      if (auto s = weak.lock()) s->ReceiverGone();
    });
  }
  ~Inbox() {
    Close();
    QObject::disconnect(m_state->watch);
  }
  Inbox(const Inbox&) = delete;
  Inbox& operator=(const Inbox&) = delete;

  // Any thread.
  void Post(std::function<void()> change) const {
    m_state->Post([state = m_state, change = std::move(change)] {
      if (!state->Aborted()) change();
    });
  }
  // Receiver's thread: drops every later post and those not yet run.
  void Close() { m_state->Abort(); }

 private:
  std::shared_ptr<CallState> m_state;
};

// Raises the abort flag of every call in flight and drops their results (window close).
void AbortAllCalls();
// Waits up to `ms` for the pool's workers to finish their calls; true when they did. Called
// after AbortAllCalls, when every call ends within a fraction of a second.
bool WaitForCalls(int ms);
// Calls running or queued now (tests, benchmarks).
int CallsInFlight();

}  // namespace shell
