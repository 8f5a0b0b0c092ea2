#include "StubHttpServer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdlib>

namespace orvtest {

StubHttpServer::StubHttpServer() {
  m_listen = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ::bind(m_listen, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
  ::listen(m_listen, 16);
  socklen_t len = sizeof addr;
  ::getsockname(m_listen, reinterpret_cast<sockaddr*>(&addr), &len);
  m_port = ntohs(addr.sin_port);
  m_thread = std::thread([this] { Serve(); });
}

StubHttpServer::~StubHttpServer() {
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_stopping = true;
  }
  m_thread.join();
  ::close(m_listen);
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
    pollfd p{m_listen, POLLIN, 0};
    if (::poll(&p, 1, 20) <= 0) continue;
    const int client = ::accept4(m_listen, nullptr, nullptr, SOCK_CLOEXEC);
    if (client < 0) continue;
    Answer(client);
    ::close(client);
  }
}

void StubHttpServer::Answer(int client) {
  std::string request;
  char buf[4096];
  while (request.find("\r\n\r\n") == std::string::npos) {
    pollfd p{client, POLLIN, 0};
    if (::poll(&p, 1, 2000) <= 0) return;
    const ssize_t n = ::recv(client, buf, sizeof buf, 0);
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
  ::send(client, all.data(), all.size(), MSG_NOSIGNAL);
}

}  // namespace orvtest
