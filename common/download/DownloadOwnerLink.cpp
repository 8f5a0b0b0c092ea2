#include "common/download/DownloadOwnerLink.h"

struct DownloadOwnerLink::Call {
  enum class State { Pending, Running, Done, Skipped };
  std::function<int()> handler;
  State state = State::Pending;
  int answer = 0;
};

DownloadOwnerLink::DownloadOwnerLink(Poster post) : m_post(std::move(post)) {}

DownloadOwnerLink::Ticket DownloadOwnerLink::Post(std::function<int()> handler, bool urgent) {
  using State = Call::State;
  std::lock_guard lock(m_mutex);
  if (m_detached) return nullptr;
  auto call = std::make_shared<Call>();
  call->handler = std::move(handler);
  auto self = shared_from_this();
  m_post(
      [self, call] {
        std::unique_lock taskLock(self->m_mutex);
        if (self->m_detached || call->state != State::Pending) {
          call->state = State::Skipped;
          self->m_changed.notify_all();
          return;
        }
        call->state = State::Running;
        taskLock.unlock();
        int answer = call->handler();
        taskLock.lock();
        call->answer = answer;
        call->state = State::Done;
        self->m_changed.notify_all();
      },
      urgent);
  return call;
}

int DownloadOwnerLink::Wait(const Ticket& ticket) {
  using State = Call::State;
  if (!ticket) return 0;
  std::unique_lock lock(m_mutex);
  // A handler that has begun is always waited for: it may refer to the caller's stack.
  m_changed.wait(lock, [&] {
    return ticket->state == State::Done || ticket->state == State::Skipped ||
           (m_detached && ticket->state == State::Pending);
  });
  if (ticket->state == State::Pending) ticket->state = State::Skipped;
  return ticket->state == State::Done ? ticket->answer : 0;
}

int DownloadOwnerLink::Send(const std::function<int()>& handler) {
  // The handler is called through a reference: Wait does not return while it runs.
  return Wait(Post([&handler] { return handler(); }));
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
