#include "platform/Socket.h"

#include <winsock2.h>
// after winsock2.h
#include <mstcpip.h>
#include <windows.h>
#include <ws2tcpip.h>

#include <algorithm>
#include <chrono>
#include <mutex>
#include <system_error>

// Windows sockets need WSAStartup once per process; a send to a closed peer fails with an
// error there (no signal exists), and SO_RCVTIMEO takes a DWORD of milliseconds.

namespace plat::net {
namespace {

bool Started() {
  static const bool ok = [] {
    WSADATA data;
    return WSAStartup(MAKEWORD(2, 2), &data) == 0;
  }();
  return ok;
}

SOCKET Raw(Socket s) { return static_cast<SOCKET>(s); }

using Clock = std::chrono::steady_clock;

// Milliseconds to wait next: sliceMs, or less when the deadline comes first.
int SliceUntil(Clock::time_point deadline, int sliceMs) {
  if (deadline == Clock::time_point::max()) return sliceMs;
  const auto left =
      std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
  return static_cast<int>(std::clamp<long long>(left, 0, sliceMs));
}

// Waits for a connect in progress: 1 when it has ended (either way), 0 after ms, -1 on error.
// select rather than WSAPoll, which some Windows versions never wake for a failed connect.
int WaitConnected(SOCKET s, int ms) {
  fd_set writable, failed;
  FD_ZERO(&writable);
  FD_ZERO(&failed);
  FD_SET(s, &writable);
  FD_SET(s, &failed);
  timeval wait{ms / 1000, (ms % 1000) * 1000};
  const int r = ::select(0, nullptr, &writable, &failed, &wait);
  if (r == SOCKET_ERROR) return -1;
  return r > 0 ? 1 : 0;
}

}  // namespace

Socket OpenTcp() {
  if (!Started()) return kNoSocket;
  // Overlapped, as socket() makes them: on a socket without it SO_RCVTIMEO never takes
  // effect, and a receive waits past its time-out for ever.
  SOCKET s = WSASocketW(AF_INET, SOCK_STREAM, IPPROTO_TCP, nullptr, 0,
                        WSA_FLAG_NO_HANDLE_INHERIT | WSA_FLAG_OVERLAPPED);
  return s == INVALID_SOCKET ? kNoSocket : static_cast<Socket>(s);
}

bool Connect(Socket s, const std::string& host, int port) {
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(static_cast<u_short>(port));
  if (inet_pton(AF_INET, host.c_str(), &addr.sin_addr) != 1) {
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    if (getaddrinfo(host.c_str(), nullptr, &hints, &found) != 0 || !found) return false;
    addr.sin_addr = reinterpret_cast<sockaddr_in*>(found->ai_addr)->sin_addr;
    freeaddrinfo(found);
  }
  return ::connect(Raw(s), reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
}

bool SetKeepAlive(Socket s, int idleSeconds, int intervalSeconds, int /*probes*/) {
  // The probe count is the system's (10 on current Windows); time and interval are set here.
  tcp_keepalive ka{};
  ka.onoff = 1;
  ka.keepalivetime = static_cast<ULONG>(idleSeconds) * 1000;
  ka.keepaliveinterval = static_cast<ULONG>(intervalSeconds) * 1000;
  DWORD returned = 0;
  if (WSAIoctl(Raw(s), SIO_KEEPALIVE_VALS, &ka, sizeof ka, nullptr, 0, &returned, nullptr,
               nullptr) == 0)
    return true;
  BOOL on = TRUE;
  return ::setsockopt(Raw(s), SOL_SOCKET, SO_KEEPALIVE, reinterpret_cast<const char*>(&on),
                      sizeof on) == 0;
}

bool SetReceiveTimeout(Socket s, int ms) {
  DWORD limit = static_cast<DWORD>(ms);
  return ::setsockopt(Raw(s), SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&limit),
                      sizeof limit) == 0;
}

long Receive(Socket s, char* buffer, std::size_t size) {
  int n = ::recv(Raw(s), buffer, static_cast<int>(size), 0);
  return n == SOCKET_ERROR ? -1 : n;
}

long Send(Socket s, const char* data, std::size_t size, bool dontRoute) {
  int n = ::send(Raw(s), data, static_cast<int>(size), dontRoute ? MSG_DONTROUTE : 0);
  return n == SOCKET_ERROR ? -1 : n;
}

Socket ListenLoopback(int* port, int backlog) {
  const Socket s = OpenTcp();
  if (s == kNoSocket) return kNoSocket;
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  int len = sizeof addr;
  if (::bind(Raw(s), reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
      ::listen(Raw(s), backlog) != 0 ||
      ::getsockname(Raw(s), reinterpret_cast<sockaddr*>(&addr), &len) != 0) {
    ::closesocket(Raw(s));
    return kNoSocket;
  }
  if (port) *port = ntohs(addr.sin_port);
  return s;
}

Socket Accept(Socket listening) {
  const SOCKET c = ::accept(Raw(listening), nullptr, nullptr);
  if (c == INVALID_SOCKET) return kNoSocket;
  // Accepted sockets take the listening socket's attributes, inheritance included: cleared
  // here so that a child started meanwhile does not keep the connection open.
  SetHandleInformation(reinterpret_cast<HANDLE>(c), HANDLE_FLAG_INHERIT, 0);
  return static_cast<Socket>(c);
}

int WaitReadable(Socket s, int ms) {
  WSAPOLLFD p{};
  p.fd = Raw(s);
  p.events = POLLRDNORM;
  const int r = ::WSAPoll(&p, 1, ms);
  if (r == SOCKET_ERROR) return -1;
  return r > 0 ? 1 : 0;
}

int WaitWritable(Socket s, int ms) {
  WSAPOLLFD p{};
  p.fd = Raw(s);
  p.events = POLLWRNORM;
  const int r = ::WSAPoll(&p, 1, ms);
  if (r == SOCKET_ERROR) return -1;
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
  if (!Started() || getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &found) != 0 ||
      !found) {
    result.status = ConnectStatus::HostNotFound;
    result.error = "Host not found";
    return result;
  }
  int error = WSAETIMEDOUT;
  SOCKET connected = INVALID_SOCKET;
  for (addrinfo* a = found; a != nullptr && connected == INVALID_SOCKET && !cancel;
       a = a->ai_next) {
    const SOCKET fd = WSASocketW(a->ai_family, a->ai_socktype, a->ai_protocol, nullptr, 0,
                                 WSA_FLAG_NO_HANDLE_INHERIT | WSA_FLAG_OVERLAPPED);
    if (fd == INVALID_SOCKET) {
      error = WSAGetLastError();
      continue;
    }
    u_long nonBlocking = 1;
    ::ioctlsocket(fd, FIONBIO, &nonBlocking);
    if (::connect(fd, a->ai_addr, static_cast<int>(a->ai_addrlen)) == 0) {
      connected = fd;
    } else if (WSAGetLastError() != WSAEWOULDBLOCK) {
      error = WSAGetLastError();
    } else {
      // In slices, looking at the flag between them; SO_ERROR tells how the connect went.
      int ready = 0;
      while (ready == 0 && !cancel && Clock::now() < deadline)
        ready = WaitConnected(fd, SliceUntil(deadline, sliceMs));
      int soError = 0;
      int length = sizeof soError;
      if (ready == 0)
        error = cancel ? WSAECANCELLED : WSAETIMEDOUT;
      else if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&soError), &length) ==
                   0 &&
               soError == 0)
        connected = fd;
      else
        error = soError != 0 ? soError : WSAGetLastError();
    }
    if (connected == INVALID_SOCKET) ::closesocket(fd);
  }
  freeaddrinfo(found);
  if (connected == INVALID_SOCKET) {
    if (cancel) error = WSAECANCELLED;
    result.status = error == WSAECANCELLED  ? ConnectStatus::Cancelled
                    : error == WSAETIMEDOUT ? ConnectStatus::TimedOut
                                            : ConnectStatus::Failed;
    result.code = error;
    result.error = std::system_category().message(error);
    return result;
  }
  u_long blocking = 0;
  ::ioctlsocket(connected, FIONBIO, &blocking);
  BOOL on = TRUE;
  ::setsockopt(connected, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&on), sizeof on);
  result.status = ConnectStatus::Connected;
  result.socket = static_cast<Socket>(connected);
  return result;
}

void Shutdown(Socket s) {
  if (s == kNoSocket) return;
  ::shutdown(Raw(s), SD_BOTH);
  // A shutdown does not end a receive already waiting in another thread (Wine leaves it
  // waiting); cancelling the socket's pending I/O, whichever thread started it, does.
  CancelIoEx(reinterpret_cast<HANDLE>(Raw(s)), nullptr);
}

void Close(Socket s) {
  if (s != kNoSocket) ::closesocket(Raw(s));
}

int NoSignalSendFlags() { return 0; }

}  // namespace plat::net
