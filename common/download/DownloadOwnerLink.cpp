#include "common/download/DownloadOwnerLink.h"

struct DownloadOwnerLink::Call {
  enum class State { Pending, Running, Done, Skipped, Abandoned };
  State state = State::Pending;
  int answer = 0;
};

DownloadOwnerLink::DownloadOwnerLink(Poster post) : m_post(std::move(post)) {}

int DownloadOwnerLink::Send(const std::function<int()>& handler) {
  using State = Call::State;
  auto call = std::make_shared<Call>();
  std::unique_lock lock(m_mutex);
  if (m_detached) return 0;
  auto self = shared_from_this();
  // The task refers to handler, which lives on the waiting worker's stack: it runs only while
  // the worker is still waiting (state Pending under the lock), and the worker never leaves
  // while it runs.
  m_post([self, call, &handler] {
    std::unique_lock taskLock(self->m_mutex);
    if (self->m_detached || call->state != State::Pending) {
      if (call->state == State::Pending) call->state = State::Skipped;
      self->m_changed.notify_all();
      return;
    }
    call->state = State::Running;
    taskLock.unlock();
    int answer = handler();
    taskLock.lock();
    call->answer = answer;
    call->state = State::Done;
    self->m_changed.notify_all();
  });
  m_changed.wait(lock, [&] {
    return call->state == State::Done || call->state == State::Skipped ||
           (m_detached && call->state == State::Pending);
  });
  if (call->state == State::Pending) call->state = State::Abandoned;
  return call->state == State::Done ? call->answer : 0;
}

void DownloadOwnerLink::Detach() {
  std::lock_guard lock(m_mutex);
  m_detached = true;
  m_changed.notify_all();
}

bool DownloadOwnerLink::Alive() const {
  std::lock_guard lock(m_mutex);
  return !m_detached;
}
