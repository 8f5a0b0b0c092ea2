#pragma once
// The line from workers to their owner: a worker's synchronous send runs the owner's handler
// on the owner's thread and waits for its answer. The owner supplies the way to queue a task
// onto its thread (a Qt queued call, a dispatch thread's queue). Once the owner detaches (at
// its destruction) every pending and later send is skipped and answers 0, so a worker never
// calls into a dead owner and never waits for one.
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>

class DownloadOwnerLink final : public std::enable_shared_from_this<DownloadOwnerLink> {
 public:
  // Queues a task onto the owner's thread. Called with the link's lock held: it must not
  // call back into the link.
  using Poster = std::function<void(std::function<void()> task)>;

  explicit DownloadOwnerLink(Poster post);
  DownloadOwnerLink(const DownloadOwnerLink&) = delete;
  DownloadOwnerLink& operator=(const DownloadOwnerLink&) = delete;

  // Worker thread: runs handler on the owner's thread and returns its answer; 0 when the
  // owner is gone (before or while waiting). A handler that has begun is always waited for.
  int Send(const std::function<int()>& handler);

  // Owner thread: from now on sends answer 0; wakes every waiting worker.
  void Detach();

  // Any thread.
  bool Alive() const;

 private:
  struct Call;

  Poster m_post;
  mutable std::mutex m_mutex;
  std::condition_variable m_changed;
  bool m_detached = false;
};
