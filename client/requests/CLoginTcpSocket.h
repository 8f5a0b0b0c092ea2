#pragma once
// The push channel: one thread that learns the push server's address from the message
// server (or from "\image\config.ini" [Server]), keeps one TCP connection to it, and hands
// every message it receives to a callback on that thread. The client's main window turns
// the callback into its message 2026.
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

#include "client/base/RequestResult.h"
#include "client/requests/PushMessage.h"

struct PushChannelOptions {
  int receivesPerKeepAlive = 1000001;  // receives between two keep-alive texts
  int pauseMs = 555;                   // pause after every receive but the first
  int reconnectPauseMs = 5000;         // pause before each new connection attempt
  // A connection that brings nothing for this long is taken as dead and opened anew
  // (TCP keep-alive probes also end a connection whose peer vanished).
  int silenceLimitMs = 10 * 60 * 1000;
};

class CLoginTcpSocket {
 public:
  static constexpr const char* kKeepAlive = "keep in touch with push message server";
  static constexpr size_t kReceiveBytes = 65536;
  // Messages of this many bytes or fewer are not delivered.
  static constexpr size_t kMinMessageBytes = 32;

  using Deliver = std::function<void(const PushMessage&)>;

  explicit CLoginTcpSocket(Deliver deliver, PushChannelOptions options = {});
  ~CLoginTcpSocket();
  CLoginTcpSocket(const CLoginTcpSocket&) = delete;
  CLoginTcpSocket& operator=(const CLoginTcpSocket&) = delete;

  // Starts the push thread unless one is running; true in every case. A thread that could
  // not connect ends, so a later call tries again.
  bool StartPushThread();
  // Ends the thread and closes the connection (shutdown and tests).
  void Stop();

  // True while a push thread runs.
  std::atomic<bool> started{false};
  // True while connected to the push server.
  bool Connected() const { return m_connected; }

 private:
  void ThreadMain();
  std::intptr_t ConnectTo(const std::string& host, int port);
  bool Reconnect(const std::string& host, int port);
  void CloseSocket();
  // Waits up to ms; false when the channel is being stopped.
  bool Pause(int ms);
  void DeliverFrom(PushMessageFramer& framer);

  Deliver m_deliver;
  PushChannelOptions m_options;
  std::thread m_thread;
  std::mutex m_mutex;
  std::condition_variable m_wake;
  AbortFlag m_stopping{false};  // also ends the address request in progress
  std::atomic<bool> m_connected{false};
  std::intptr_t m_socket = -1;  // plat::net::Socket; guarded by m_mutex for close and shutdown
};
