#pragma once
// A small HTTP server on 127.0.0.1 for the request tests: canned answers by path, and a
// record of every request target it received.
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/Socket.h"
#include "support/TestSupport.h"  // ScopedEnv

namespace orvtest {

class StubHttpServer {
 public:
  StubHttpServer();
  ~StubHttpServer();
  StubHttpServer(const StubHttpServer&) = delete;
  StubHttpServer& operator=(const StubHttpServer&) = delete;

  int Port() const { return m_port; }
  // "127.0.0.1:<port>", the value of an ORVANTA_HOST_<KIND> variable.
  std::string HostPort() const { return "127.0.0.1:" + std::to_string(m_port); }

  // Answers requests for path (query ignored) with status 200 and body; a body beginning
  // with "HTTP/1." is sent as the whole response instead.
  void SetAnswer(const std::string& path, const std::string& body);
  // Request targets (path and query, as sent) in arrival order.
  std::vector<std::string> Targets() const;
  // The query of the last request of path, percent-decoded (GBK bytes stay bytes).
  std::string LastQueryDecoded(const std::string& path) const;

  static std::string PercentDecode(const std::string& text);

 private:
  void Serve();
  void Answer(plat::net::Socket client);

  plat::net::Socket m_listen = plat::net::kNoSocket;
  int m_port = 0;
  bool m_stopping = false;
  mutable std::mutex m_mutex;
  std::map<std::string, std::string> m_answers;
  std::vector<std::string> m_targets;
  std::thread m_thread;
};

}  // namespace orvtest
