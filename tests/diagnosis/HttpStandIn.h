#pragma once
// The diagnosis tests' web server (http_standin.py) and a port nothing listens on.

#include <string>

#include "support/TestSupport.h"

namespace diagtest {

class HttpStandIn {
 public:
  // Serves the files under root; /ok answers 200, /redirect 302 to /ok, the rest 404.
  explicit HttpStandIn(const std::string& root)
      : m_child({ORV_PYTHON, ORV_SOURCE_DIR "/tests/diagnosis/http_standin.py", root}) {
    m_port = m_child.ReadAssignments({"PORT"})["PORT"];
  }
  bool Started() const { return !m_port.empty(); }
  std::string Url(const std::string& path) const { return "http://127.0.0.1:" + m_port + path; }

 private:
  orvtest::ChildProcess m_child;
  std::string m_port;
};

// A loopback port that was free a moment ago: connections to it are refused.
inline int ClosedPort() { return orvtest::ClosedLoopbackPort(); }

inline std::string ClosedUrl(const std::string& path = "/") {
  return "http://127.0.0.1:" + std::to_string(ClosedPort()) + path;
}

}  // namespace diagtest
