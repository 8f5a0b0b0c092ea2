#include "platform/SingleInstance.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <thread>

#include "platform/PrivateFiles.h"

namespace plat {
namespace {

constexpr char kRequest[] = "ACTIVATE\n";
constexpr char kAnswer[] = "OK\n";
// How long the listener waits for a connected instance's request line.
constexpr int kRequestTimeoutMs = 2000;
constexpr int kPollStepMs = 20;

// The socket path of the running instance, for the termination handler: a client ended by
// SIGTERM, SIGINT or SIGHUP removes its socket file before it ends as it would have.
char g_socketToRemove[sizeof(sockaddr_un::sun_path)] = {};

void RemoveSocketAndEnd(int signal) {
  if (g_socketToRemove[0] != '\0') unlink(g_socketToRemove);
  std::signal(signal, SIG_DFL);
  raise(signal);
}

void RemoveSocketOnTermination(const std::string& path) {
  if (path.size() >= sizeof g_socketToRemove) return;
  std::memcpy(g_socketToRemove, path.c_str(), path.size() + 1);
  for (int sig : {SIGTERM, SIGINT, SIGHUP}) {
    // Someone else's handler stays; only the default action (ending) is wrapped.
    struct sigaction current {};
    if (sigaction(sig, nullptr, &current) != 0 || current.sa_handler != SIG_DFL) continue;
    struct sigaction action {};
    action.sa_handler = RemoveSocketAndEnd;
    sigemptyset(&action.sa_mask);
    sigaction(sig, &action, nullptr);
  }
}

bool FillAddress(const std::string& path, sockaddr_un& addr) {
  std::memset(&addr, 0, sizeof addr);
  addr.sun_family = AF_UNIX;
  if (path.size() >= sizeof addr.sun_path) return false;
  std::memcpy(addr.sun_path, path.c_str(), path.size() + 1);
  return true;
}

// Reads up to a line feed or until the deadline; false on timeout or a closed peer.
bool ReadLine(int fd, std::string& line, int timeoutMs) {
  auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  line.clear();
  while (line.size() < 256) {
    int left = timeoutMs < 0
                   ? -1
                   : static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                          end - std::chrono::steady_clock::now())
                                          .count());
    if (timeoutMs >= 0 && left <= 0) return false;
    pollfd p{fd, POLLIN, 0};
    int r = poll(&p, 1, left);
    if (r < 0 && errno == EINTR) continue;
    if (r <= 0) return false;
    char c;
    ssize_t n = read(fd, &c, 1);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    if (c == '\n') return true;
    line += c;
  }
  return false;
}

bool WriteAll(int fd, const char* data, size_t size) {
  while (size > 0) {
    ssize_t n = send(fd, data, size, MSG_NOSIGNAL);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    data += n;
    size -= static_cast<size_t>(n);
  }
  return true;
}

}  // namespace

struct InstanceLock::Impl {
  std::string name;
  std::string lockPath;
  std::string socketPath;
  int lockFd = -1;
  bool unguarded = false;  // no private folder: this process runs without the lock
  int listenFd = -1;
  int wakeRead = -1;
  int wakeWrite = -1;
  std::thread listener;
  std::function<void()> onActivate;

  void Listen() {
    for (;;) {
      pollfd p[2] = {{listenFd, POLLIN, 0}, {wakeRead, POLLIN, 0}};
      int r = poll(p, 2, -1);
      if (r < 0 && errno == EINTR) continue;
      if (r < 0 || (p[1].revents != 0)) return;
      if (!(p[0].revents & POLLIN)) continue;
      int conn = accept4(listenFd, nullptr, nullptr, SOCK_CLOEXEC);
      if (conn < 0) continue;
      std::string line;
      if (ReadLine(conn, line, kRequestTimeoutMs) && line + "\n" == kRequest) {
        if (onActivate) onActivate();
        WriteAll(conn, kAnswer, sizeof kAnswer - 1);
      }
      close(conn);
    }
  }

  void StopListening() {
    if (listener.joinable()) {
      char c = 'x';
      [[maybe_unused]] ssize_t n = write(wakeWrite, &c, 1);
      listener.join();
    }
    if (listenFd >= 0) {
      close(listenFd);
      listenFd = -1;
      unlink(socketPath.c_str());
      g_socketToRemove[0] = '\0';
    }
    if (wakeRead >= 0) close(wakeRead);
    if (wakeWrite >= 0) close(wakeWrite);
    wakeRead = wakeWrite = -1;
  }

  // The holder's note in the lock file: a failed publication leaves a mark there, so that
  // waiting instances give up instead of waiting for a window that never comes.
  void MarkPublication(bool published) const {
    if (lockFd < 0) return;
    static constexpr char kMark[] = "unpublished\n";
    [[maybe_unused]] int rc = published
                                  ? ftruncate(lockFd, 0)
                                  : static_cast<int>(pwrite(lockFd, kMark, sizeof kMark - 1, 0));
  }

  // True when the lock holder has marked its publication as failed. The holder clears a
  // mark left by an earlier holder right after taking the lock.
  bool PublicationFailed() const {
    struct stat st;
    return stat(lockPath.c_str(), &st) == 0 && st.st_size > 0;
  }

  // True when some process holds the lock (probing with a shared lock of our own).
  bool LockTaken() const {
    int fd = open(lockPath.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0) return false;
    bool taken = flock(fd, LOCK_SH | LOCK_NB) != 0 && errno == EWOULDBLOCK;
    close(fd);
    return taken;
  }

  // One attempt: connect, send the request, wait for the answer. 1 done, 0 not yet
  // published (try again), -1 failed after connecting.
  int TryActivate(int answerTimeoutMs) const {
    sockaddr_un addr;
    if (!FillAddress(socketPath, addr)) return -1;
    int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return -1;
    if (connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
      close(fd);
      return 0;
    }
    int result = -1;
    std::string line;
    if (WriteAll(fd, kRequest, sizeof kRequest - 1) && ReadLine(fd, line, answerTimeoutMs) &&
        line + "\n" == kAnswer)
      result = 1;
    close(fd);
    return result;
  }
};

InstanceLock::InstanceLock(std::string name) : m_impl(std::make_unique<Impl>()) {
  std::string dir = PrivateRuntimeDirectory();
  m_impl->name = std::move(name);
  if (dir.empty()) return;
  m_impl->lockPath = dir + "/" + m_impl->name + ".lock";
  m_impl->socketPath = dir + "/" + m_impl->name + ".sock";
}

InstanceLock::~InstanceLock() { Close(); }

bool InstanceLock::TryAcquire() {
  if (m_impl->lockFd >= 0 || m_impl->unguarded) return true;
  if (m_impl->lockPath.empty()) {
    // No folder only this user can write to: a lock elsewhere could be turned against us.
    m_impl->unguarded = true;
    return true;
  }
  // Never through a link, and only a regular file of ours: a file we may not open, or one
  // that is not ours, is treated as another instance and never written to.
  int fd = open(m_impl->lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
  if (fd < 0) return false;
  struct stat st {};
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_uid != geteuid() ||
      flock(fd, LOCK_EX | LOCK_NB) != 0) {
    close(fd);
    return false;
  }
  // A mark of a failed publication and a socket file belong to an earlier holder.
  [[maybe_unused]] int rc = ftruncate(fd, 0);
  unlink(m_impl->socketPath.c_str());
  m_impl->lockFd = fd;
  return true;
}

bool InstanceLock::Held() const { return m_impl->lockFd >= 0 || m_impl->unguarded; }

bool InstanceLock::Publish(std::function<void()> onActivate) {
  if (!Held()) return false;
  if (m_impl->unguarded || m_impl->listenFd >= 0) return true;
  sockaddr_un addr;
  int fds[2];
  if (!FillAddress(m_impl->socketPath, addr) || pipe2(fds, O_CLOEXEC) != 0) {
    m_impl->MarkPublication(false);
    return false;
  }
  m_impl->wakeRead = fds[0];
  m_impl->wakeWrite = fds[1];
  // A socket file left by a dead instance would make bind fail; we hold the lock, so
  // whatever is there is stale.
  unlink(m_impl->socketPath.c_str());
  int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0 || bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
      listen(fd, 16) != 0) {
    if (fd >= 0) close(fd);
    m_impl->StopListening();
    m_impl->MarkPublication(false);
    return false;
  }
  m_impl->listenFd = fd;
  m_impl->onActivate = std::move(onActivate);
  m_impl->listener = std::thread([impl = m_impl.get()] { impl->Listen(); });
  m_impl->MarkPublication(true);
  RemoveSocketOnTermination(m_impl->socketPath);
  return true;
}

bool InstanceLock::ActivateRunning(int timeoutMs) {
  if (m_impl->lockPath.empty()) return false;
  auto start = std::chrono::steady_clock::now();
  auto elapsed = [&] {
    return static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                std::chrono::steady_clock::now() - start)
                                .count());
  };
  int failedMarks = 0;
  for (;;) {
    int answerTimeout =
        timeoutMs < 0 ? kRequestTimeoutMs * 2 : std::max(timeoutMs - elapsed(), kRequestTimeoutMs);
    int r = m_impl->TryActivate(answerTimeout);
    if (r != 0) return r > 0;
    // Nobody holds the lock: the first instance went away without publishing (a socket file
    // left behind by a killed one is removed by the next first instance).
    if (!m_impl->LockTaken()) return false;
    // The holder could not publish: it will never answer. The mark must be seen twice, as a
    // new holder clears a stale one only just after taking the lock.
    failedMarks = m_impl->PublicationFailed() ? failedMarks + 1 : 0;
    if (failedMarks >= 2) return false;
    if (timeoutMs >= 0 && elapsed() >= timeoutMs) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(kPollStepMs));
  }
}

void InstanceLock::Close() {
  m_impl->StopListening();
  m_impl->unguarded = false;
  if (m_impl->lockFd >= 0) {
    flock(m_impl->lockFd, LOCK_UN);
    close(m_impl->lockFd);
    m_impl->lockFd = -1;
  }
}

std::string InstanceLock::LockPath() const { return m_impl->lockPath; }
std::string InstanceLock::SocketPath() const { return m_impl->socketPath; }

}  // namespace plat
