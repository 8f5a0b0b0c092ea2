#pragma once
// One instance per user session: an advisory lock on a file named after a GUID in the user's
// private runtime folder (PrivateFiles.h; never a folder others can write to) plays the named
// mutex; a Unix-domain socket of the same name plays the published window. The lock file is
// opened without following links and only when it is a regular file of ours. The kernel drops
// the lock of a dead process; a socket file left by one is removed by the next first instance,
// and a published instance ended by SIGTERM, SIGINT or SIGHUP removes its own. Without a
// private folder every start runs unguarded.
#include <functional>
#include <memory>
#include <string>

namespace plat {

class InstanceLock {
 public:
  explicit InstanceLock(std::string name);
  ~InstanceLock();
  InstanceLock(const InstanceLock&) = delete;
  InstanceLock& operator=(const InstanceLock&) = delete;

  // Takes the lock without waiting. True: this process is the first instance.
  bool TryAcquire();
  bool Held() const;

  // First instance: starts listening on the socket; each connecting instance's request
  // calls onActivate on the listener thread. False when the socket cannot be set up; the
  // lock stays held and later starts give up at once instead of waiting.
  bool Publish(std::function<void()> onActivate);

  // Second instance: waits (up to timeoutMs, -1 forever) until the first instance has
  // published, asks it to activate its window, and returns true; false on failure, when
  // the lock holder could not publish or does not answer in time, or when it went away
  // without publishing.
  bool ActivateRunning(int timeoutMs);

  // Stops listening, removes the socket and releases the lock.
  void Close();

  std::string LockPath() const;
  std::string SocketPath() const;

 private:
  struct Impl;
  std::unique_ptr<Impl> m_impl;
};

}  // namespace plat
