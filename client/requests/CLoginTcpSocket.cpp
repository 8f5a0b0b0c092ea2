#include "client/requests/CLoginTcpSocket.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "client/base/PushSettings.h"
#include "client/requests/CGetPushMsgServerInfoCtrl.h"

CLoginTcpSocket::CLoginTcpSocket(Deliver deliver, PushChannelOptions options)
    : m_deliver(std::move(deliver)), m_options(options) {}

CLoginTcpSocket::~CLoginTcpSocket() { Stop(); }

bool CLoginTcpSocket::StartPushThread() {
  if (started.exchange(true)) return true;
  if (m_thread.joinable()) m_thread.join();  // an earlier thread that has ended
  m_stopping = false;
  m_thread = std::thread([this] {
    ThreadMain();
    m_connected = false;
    started = false;
  });
  return true;
}

void CLoginTcpSocket::Stop() {
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_stopping = true;
    if (m_socket >= 0) ::shutdown(m_socket, SHUT_RDWR);  // wakes a blocked receive
  }
  m_wake.notify_all();
  if (m_thread.joinable()) m_thread.join();
  CloseSocket();
}

bool CLoginTcpSocket::Pause(int ms) {
  std::unique_lock<std::mutex> lock(m_mutex);
  m_wake.wait_for(lock, std::chrono::milliseconds(ms), [this] { return m_stopping.load(); });
  return !m_stopping;
}

void CLoginTcpSocket::CloseSocket() {
  std::lock_guard<std::mutex> lock(m_mutex);
  if (m_socket >= 0) ::close(m_socket);
  m_socket = -1;
  m_connected = false;
}

int CLoginTcpSocket::ConnectTo(const std::string& host, int port) {
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(static_cast<uint16_t>(port));
  if (inet_pton(AF_INET, host.c_str(), &addr.sin_addr) != 1) {
    // The configured fallback may be a host name.
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    if (getaddrinfo(host.c_str(), nullptr, &hints, &found) != 0 || !found) return -1;
    addr.sin_addr = reinterpret_cast<sockaddr_in*>(found->ai_addr)->sin_addr;
    freeaddrinfo(found);
  }
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return -1;
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_stopping) {
      ::close(fd);
      return -1;
    }
    m_socket = fd;
  }
  if (::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
    CloseSocket();
    return -1;
  }
  // Dead-connection detection: kernel keep-alive probes after a minute of silence, and a
  // receive time-out well above it; either ends the receive and the reconnect follows.
  const int on = 1, idle = 60, interval = 10, probes = 3;
  ::setsockopt(fd, SOL_SOCKET, SO_KEEPALIVE, &on, sizeof on);
  ::setsockopt(fd, IPPROTO_TCP, TCP_KEEPIDLE, &idle, sizeof idle);
  ::setsockopt(fd, IPPROTO_TCP, TCP_KEEPINTVL, &interval, sizeof interval);
  ::setsockopt(fd, IPPROTO_TCP, TCP_KEEPCNT, &probes, sizeof probes);
  if (m_options.silenceLimitMs > 0) {
    timeval limit{};
    limit.tv_sec = m_options.silenceLimitMs / 1000;
    limit.tv_usec = (m_options.silenceLimitMs % 1000) * 1000;
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
  }
  m_connected = true;
  return fd;
}

bool CLoginTcpSocket::Reconnect(const std::string& host, int port) {
  CloseSocket();
  while (Pause(m_options.reconnectPauseMs)) {
    if (ConnectTo(host, port) >= 0) return true;
  }
  return false;
}

void CLoginTcpSocket::DeliverFrom(PushMessageFramer& framer) {
  while (auto text = framer.Next()) {
    if (text->size() <= kMinMessageBytes || !m_deliver) continue;
    // A text that is not a JSON object is skipped rather than repeating the last message.
    if (auto message = ParsePushMessage(*text)) m_deliver(*message);
  }
}

void CLoginTcpSocket::ThreadMain() {
  CGetPushMsgServerInfoCtrl info;
  // Stopping the channel also ends a wait on a silent or unreachable message server.
  info.UseAbortFlag(m_stopping);
  // Without an answer the configured push address is used.
  if (!info.RunDefault()) info.serverIp.clear(), info.serverPort.clear();
  if (m_stopping) return;
  const std::string host = info.serverIp.empty() ? GetPushListenAddress() : info.serverIp;
  const int port = info.serverPort.empty() ? GetPushListenPort()
                                           : CGetPushMsgServerInfoCtrl::PortNumber(info.serverPort);
  if (host.empty() || port <= 0 || port > 65535) return;

  int fd = ConnectTo(host, port);
  if (fd < 0) return;  // nothing to keep; a later start tries again

  std::vector<char> buffer(kReceiveBytes);
  PushMessageFramer framer;
  bool firstReceive = true;
  while (!m_stopping) {
    for (int i = 0; i < m_options.receivesPerKeepAlive && !m_stopping; ++i) {
      const ssize_t n = ::recv(fd, buffer.data(), buffer.size(), 0);
      if (n > 0) {
        framer.Feed(buffer.data(), static_cast<size_t>(n));
        DeliverFrom(framer);
      } else if (n == 0 || errno != EINTR) {
        // The server closed the connection, or it went silent past the limit (EAGAIN) or
        // died (ETIMEDOUT): open a new one after a pause.
        framer.Reset();
        if (!Reconnect(host, port)) return;
        std::lock_guard<std::mutex> lock(m_mutex);
        fd = m_socket;
        continue;
      }
      if (!firstReceive && !Pause(m_options.pauseMs)) return;
      firstReceive = false;
    }
    if (m_stopping) break;
    const ssize_t sent =
        ::send(fd, kKeepAlive, std::strlen(kKeepAlive), MSG_DONTROUTE | MSG_NOSIGNAL);
    if (sent < 0) {
      framer.Reset();
      if (!Reconnect(host, port)) return;
      std::lock_guard<std::mutex> lock(m_mutex);
      fd = m_socket;
    }
  }
}
