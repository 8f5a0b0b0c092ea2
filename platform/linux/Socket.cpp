#include "platform/Socket.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstring>

namespace plat::net {
namespace {

using Clock = std::chrono::steady_clock;

// Milliseconds to wait next: sliceMs, or less when the deadline comes first.
int SliceUntil(Clock::time_point deadline, int sliceMs) {
  if (deadline == Clock::time_point::max()) return sliceMs;
  const auto left =
      std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
  return static_cast<int>(std::clamp<long long>(left, 0, sliceMs));
}

}  // namespace

Socket OpenTcp() { return ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0); }

bool Connect(Socket s, const std::string& host, int port) {
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(static_cast<uint16_t>(port));
  if (inet_pton(AF_INET, host.c_str(), &addr.sin_addr) != 1) {
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    if (getaddrinfo(host.c_str(), nullptr, &hints, &found) != 0 || !found) return false;
    addr.sin_addr = reinterpret_cast<sockaddr_in*>(found->ai_addr)->sin_addr;
    freeaddrinfo(found);
  }
  return ::connect(static_cast<int>(s), reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
}

bool SetKeepAlive(Socket s, int idleSeconds, int intervalSeconds, int probes) {
  const int fd = static_cast<int>(s), on = 1;
  bool ok = ::setsockopt(fd, SOL_SOCKET, SO_KEEPALIVE, &on, sizeof on) == 0;
  ok = ::setsockopt(fd, IPPROTO_TCP, TCP_KEEPIDLE, &idleSeconds, sizeof idleSeconds) == 0 && ok;
  ok =
      ::setsockopt(fd, IPPROTO_TCP, TCP_KEEPINTVL, &intervalSeconds, sizeof intervalSeconds) == 0 &&
      ok;
  return ::setsockopt(fd, IPPROTO_TCP, TCP_KEEPCNT, &probes, sizeof probes) == 0 && ok;
}

bool SetReceiveTimeout(Socket s, int ms) {
  timeval limit{};
  limit.tv_sec = ms / 1000;
  limit.tv_usec = (ms % 1000) * 1000;
  return ::setsockopt(static_cast<int>(s), SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit) == 0;
}

long Receive(Socket s, char* buffer, std::size_t size) {
  for (;;) {
    ssize_t n = ::recv(static_cast<int>(s), buffer, size, 0);
    if (n < 0 && errno == EINTR) continue;
    return n < 0 ? -1 : static_cast<long>(n);
  }
}

long Send(Socket s, const char* data, std::size_t size, bool dontRoute) {
  for (;;) {
    ssize_t n =
        ::send(static_cast<int>(s), data, size, MSG_NOSIGNAL | (dontRoute ? MSG_DONTROUTE : 0));
    if (n < 0 && errno == EINTR) continue;
    return n < 0 ? -1 : static_cast<long>(n);
  }
}

Socket ListenLoopback(int* port, int backlog) {
  const int s = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (s < 0) return kNoSocket;
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t len = sizeof addr;
  if (::bind(s, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
      ::listen(s, backlog) != 0 ||
      ::getsockname(s, reinterpret_cast<sockaddr*>(&addr), &len) != 0) {
    ::close(s);
    return kNoSocket;
  }
  if (port) *port = ntohs(addr.sin_port);
  return s;
}

Socket Accept(Socket listening) {
  for (;;) {
    const int c = ::accept4(static_cast<int>(listening), nullptr, nullptr, SOCK_CLOEXEC);
    if (c < 0 && errno == EINTR) continue;
    return c < 0 ? kNoSocket : c;
  }
}

int WaitReadable(Socket s, int ms) {
  pollfd p{static_cast<int>(s), POLLIN, 0};
  const int r = ::poll(&p, 1, ms);
  if (r < 0) return errno == EINTR ? 0 : -1;
  return r > 0 ? 1 : 0;
}

int WaitWritable(Socket s, int ms) {
  pollfd p{static_cast<int>(s), POLLOUT, 0};
  const int r = ::poll(&p, 1, ms);
  if (r < 0) return errno == EINTR ? 0 : -1;
  return r > 0 ? 1 : 0;
}

ConnectResult ConnectCancellable(const std::string& host, int port, int timeoutMs,
                                 const std::atomic<bool>& cancel, int sliceMs) {
  const auto deadline = timeoutMs < 0 ? Clock::time_point::max()
                                      : Clock::now() + std::chrono::milliseconds(timeoutMs);
  ConnectResult result;
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* found = nullptr;
  if (getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &found) != 0 || !found) {
    result.status = ConnectStatus::HostNotFound;
    result.error = "Host not found";
    return result;
  }
  int error = ETIMEDOUT;
  int connected = -1;
  for (addrinfo* a = found; a != nullptr && connected < 0 && !cancel; a = a->ai_next) {
    const int fd =
        ::socket(a->ai_family, a->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, a->ai_protocol);
    if (fd < 0) {
      error = errno;
      continue;
    }
    if (::connect(fd, a->ai_addr, a->ai_addrlen) == 0) {
      connected = fd;
    } else if (errno != EINPROGRESS) {
      error = errno;
    } else {
      // In slices, looking at the flag between them; a poll error counts as the end of
      // the wait, and SO_ERROR tells how the connect went.
      int ready = 0;
      while (ready == 0 && !cancel && Clock::now() < deadline)
        ready = WaitWritable(fd, SliceUntil(deadline, sliceMs));
      int soError = 0;
      socklen_t length = sizeof soError;
      if (ready == 0)
        error = cancel ? ECANCELED : ETIMEDOUT;
      else if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &soError, &length) == 0 && soError == 0)
        connected = fd;
      else
        error = soError != 0 ? soError : errno;
    }
    if (connected < 0) ::close(fd);
  }
  freeaddrinfo(found);
  if (connected < 0) {
    if (cancel) error = ECANCELED;
    result.status = error == ECANCELED   ? ConnectStatus::Cancelled
                    : error == ETIMEDOUT ? ConnectStatus::TimedOut
                                         : ConnectStatus::Failed;
    result.code = error;
    result.error = std::strerror(error);
    return result;
  }
  ::fcntl(connected, F_SETFL, ::fcntl(connected, F_GETFL) & ~O_NONBLOCK);
  const int on = 1;
  ::setsockopt(connected, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
  result.status = ConnectStatus::Connected;
  result.socket = connected;
  return result;
}

void Shutdown(Socket s) {
  if (s != kNoSocket) ::shutdown(static_cast<int>(s), SHUT_RDWR);
}

void Close(Socket s) {
  if (s != kNoSocket) ::close(static_cast<int>(s));
}

int NoSignalSendFlags() { return MSG_NOSIGNAL; }

}  // namespace plat::net
