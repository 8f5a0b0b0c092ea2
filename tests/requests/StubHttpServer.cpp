#include "StubHttpServer.h"

#include <cstdlib>

#include "platform/Socket.h"

namespace orvtest {

StubHttpServer::StubHttpServer() {
  m_listen = plat::net::ListenLoopback(&m_port);
  m_thread = std::thread([this] { Serve(); });
}

StubHttpServer::~StubHttpServer() {
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_stopping = true;
  }
  m_thread.join();
  plat::net::Close(m_listen);
}

void StubHttpServer::SetAnswer(const std::string& path, const std::string& body) {
  std::lock_guard<std::mutex> lock(m_mutex);
  m_answers[path] = body;
}

std::vector<std::string> StubHttpServer::Targets() const {
  std::lock_guard<std::mutex> lock(m_mutex);
  return m_targets;
}

std::string StubHttpServer::PercentDecode(const std::string& text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '%' && i + 2 < text.size()) {
      out += static_cast<char>(std::strtol(text.substr(i + 1, 2).c_str(), nullptr, 16));
      i += 2;
    } else {
      out += text[i];
    }
  }
  return out;
}

std::string StubHttpServer::LastQueryDecoded(const std::string& path) const {
  std::lock_guard<std::mutex> lock(m_mutex);
  for (auto it = m_targets.rbegin(); it != m_targets.rend(); ++it) {
    const auto q = it->find('?');
    if (it->substr(0, q) == path)
      return q == std::string::npos ? "" : PercentDecode(it->substr(q + 1));
  }
  return {};
}

void StubHttpServer::Serve() {
  for (;;) {
    {
      std::lock_guard<std::mutex> lock(m_mutex);
      if (m_stopping) return;
    }
    if (plat::net::WaitReadable(m_listen, 20) <= 0) continue;
    const plat::net::Socket client = plat::net::Accept(m_listen);
    if (client == plat::net::kNoSocket) continue;
    Answer(client);
    plat::net::Close(client);
  }
}

void StubHttpServer::Answer(plat::net::Socket client) {
  std::string request;
  char buf[4096];
  while (request.find("\r\n\r\n") == std::string::npos) {
    if (plat::net::WaitReadable(client, 2000) <= 0) return;
    const long n = plat::net::Receive(client, buf, sizeof buf);
    if (n <= 0) return;
    request.append(buf, static_cast<size_t>(n));
  }
  const auto sp1 = request.find(' ');
  const auto sp2 = request.find(' ', sp1 + 1);
  const std::string target = request.substr(sp1 + 1, sp2 - sp1 - 1);
  const std::string path = target.substr(0, target.find('?'));
  std::string body;
  bool found = false;
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_targets.push_back(target);
    auto it = m_answers.find(path);
    if (it != m_answers.end()) {
      body = it->second;
      found = true;
    }
  }
  const std::string head =
      std::string(found ? "HTTP/1.0 200 OK" : "HTTP/1.0 404 Not Found") +
      "\r\nContent-Type: application/json\r\nContent-Length: " + std::to_string(body.size()) +
      "\r\nConnection: close\r\n\r\n";
  // An answer written as a whole response (its own status line and headers) goes as it is.
  const std::string all = body.rfind("HTTP/1.", 0) == 0 ? body : head + body;
  plat::net::Send(client, all.data(), all.size());
}

}  // namespace orvtest
