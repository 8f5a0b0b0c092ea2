#pragma once
// Real servers from Debian's packages, each started by a test on a loopback port with a
// configuration of the test's own in a temporary folder, and ended by its process id when
// the object goes: nginx, vsftpd and the spyne login service (login_service.py).
#include <unistd.h>

#include <memory>
#include <string>
#include <vector>

#include "tests/support/TestSupport.h"

namespace interop {

inline std::string Here(const std::string& name) {
  return std::string(ORV_SOURCE_DIR) + "/tests/interop/" + name;
}

// Connects to 127.0.0.1:port until something accepts (or about 10 s pass).
bool WaitForPort(int port);

// nginx serving root (a folder of the test) with the given server-block lines; every request
// is logged to AccessLog() as "status range if-range agent uri" lines.
class Nginx {
 public:
  Nginx(const std::string& root, const std::string& serverLines);
  ~Nginx();
  Nginx(const Nginx&) = delete;
  Nginx& operator=(const Nginx&) = delete;
  bool Running() const { return m_port > 0; }
  std::string Url(const std::string& path) const {
    return "http://127.0.0.1:" + std::to_string(m_port) + path;
  }
  std::vector<std::string> AccessLog() const;
  const std::string& Error() const { return m_error; }

 private:
  orvtest::TempDir m_dir;
  std::unique_ptr<orvtest::ChildProcess> m_process;
  int m_port = 0;
  std::string m_error;
};

// vsftpd serving root as "/" to the update server's user (any password is let in by a
// PAM service of the test's own); passive mode off when passive is false.
class Vsftpd {
 public:
  Vsftpd(const std::string& root, bool passive);
  ~Vsftpd();
  Vsftpd(const Vsftpd&) = delete;
  Vsftpd& operator=(const Vsftpd&) = delete;
  bool Running() const { return m_port > 0; }
  std::string Host() const { return "127.0.0.1:" + std::to_string(m_port); }
  // The protocol log (commands and responses).
  std::string Log() const { return orvtest::ReadFile(m_dir.File("vsftpd.log")); }
  const std::string& Error() const { return m_error; }

 private:
  orvtest::TempDir m_dir;
  std::string m_pamService;
  std::unique_ptr<orvtest::ChildProcess> m_process;
  int m_port = 0;
  std::string m_error;
};

// The spyne login and logout services (login_service.py), validating with lxml.
class SpyneLogin {
 public:
  SpyneLogin();
  bool Running() const { return !m_host.empty(); }
  const std::string& Host() const { return m_host; }
  // One line per request the service answered: "operation|charset|user name in UTF-8".
  std::vector<std::string> Calls() const;

 private:
  orvtest::TempDir m_dir;
  std::unique_ptr<orvtest::ChildProcess> m_process;
  std::string m_host;
};

}  // namespace interop
