#include "client/requests/CLoginTcpSocket.h"

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "client/base/PushSettings.h"
#include "client/requests/CGetPushMsgServerInfoCtrl.h"
#include "platform/Socket.h"

namespace net = plat::net;

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
    net::Shutdown(m_socket);  // wakes a blocked receive
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
  net::Close(m_socket);
  m_socket = net::kNoSocket;
  m_connected = false;
}

std::intptr_t CLoginTcpSocket::ConnectTo(const std::string& host, int port) {
  const net::Socket fd = net::OpenTcp();
  if (fd == net::kNoSocket) return net::kNoSocket;
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_stopping) {
      net::Close(fd);
      return net::kNoSocket;
    }
    m_socket = fd;
  }
  // The configured fallback may be a host name.
  if (!net::Connect(fd, host, port)) {
    CloseSocket();
    return net::kNoSocket;
  }
  // Dead-connection detection: keep-alive probes after a minute of silence, and a receive
  // time-out well above it; either ends the receive and the reconnect follows.
  net::SetKeepAlive(fd, 60, 10, 3);
  if (m_options.silenceLimitMs > 0) net::SetReceiveTimeout(fd, m_options.silenceLimitMs);
  m_connected = true;
  return fd;
}

bool CLoginTcpSocket::Reconnect(const std::string& host, int port) {
  CloseSocket();
  while (Pause(m_options.reconnectPauseMs)) {
    if (ConnectTo(host, port) != net::kNoSocket) return true;
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

  net::Socket fd = ConnectTo(host, port);
  if (fd == net::kNoSocket) return;  // nothing to keep; a later start tries again

  std::vector<char> buffer(kReceiveBytes);
  PushMessageFramer framer;
  bool firstReceive = true;
  while (!m_stopping) {
    for (int i = 0; i < m_options.receivesPerKeepAlive && !m_stopping; ++i) {
      const long n = net::Receive(fd, buffer.data(), buffer.size());
      if (n > 0) {
        framer.Feed(buffer.data(), static_cast<size_t>(n));
        DeliverFrom(framer);
      } else {
        // The server closed the connection, or it went silent past the limit or died: open
        // a new one after a pause.
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
    const long sent = net::Send(fd, kKeepAlive, std::strlen(kKeepAlive), /*dontRoute=*/true);
    if (sent < 0) {
      framer.Reset();
      if (!Reconnect(host, port)) return;
      std::lock_guard<std::mutex> lock(m_mutex);
      fd = m_socket;
    }
  }
}
