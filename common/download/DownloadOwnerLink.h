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
  // call back into the link. A task that is not urgent (a PROGRESS the worker does not wait
  // for) need not wake the owner's thread at once: it may run with the next batch.
  using Poster = std::function<void(std::function<void()> task, bool urgent)>;

  explicit DownloadOwnerLink(Poster post);
  DownloadOwnerLink(const DownloadOwnerLink&) = delete;
  DownloadOwnerLink& operator=(const DownloadOwnerLink&) = delete;

  struct Call;
  // One queued call; nullptr when the owner was already gone.
  using Ticket = std::shared_ptr<Call>;

  // Worker thread: runs handler on the owner's thread and returns its answer; 0 when the
  // owner is gone (before or while waiting). A handler that has begun is always waited for.
  int Send(const std::function<int()>& handler);

  // Worker thread: queues handler (which must own or outlive what it uses) onto the owner's
  // thread and returns at once. Calls run in the order they were queued.
  Ticket Post(std::function<int()> handler, bool urgent = true);
  // Worker thread: waits until the call ran (its answer) or was skipped (0).
  int Wait(const Ticket& ticket);

  // Owner thread: from now on sends answer 0; wakes every waiting worker.
  void Detach();

  // Any thread.
  bool Alive() const;

 private:
  Poster m_post;
  mutable std::mutex m_mutex;
  std::condition_variable m_changed;
  bool m_detached = false;
};
