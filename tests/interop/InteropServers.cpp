#include "InteropServers.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <sstream>
#include <thread>

namespace interop {
namespace {

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

bool Connects(int port) {
  const int fd = socket(AF_INET, SOCK_STREAM, 0);
  if (fd < 0) return false;
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(static_cast<uint16_t>(port));
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  const bool ok = connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
  close(fd);
  return ok;
}

// Starts a server on a free port, a few tries in case another process takes the port first.
template <class Start>
int StartOnFreePort(std::unique_ptr<orvtest::ChildProcess>& process, Start start) {
  for (int attempt = 0; attempt < 3; ++attempt) {
    const int port = orvtest::ClosedLoopbackPort();
    process = start(port);
    if (process->Started() && WaitForPort(port)) return port;
    process.reset();
  }
  return 0;
}

}  // namespace

bool WaitForPort(int port) {
  return orvtest::WaitUntil([port] { return Connects(port); }, std::chrono::seconds(10));
}

Nginx::Nginx(const std::string& root, const std::string& serverLines) {
  for (const char* d : {"tmp", "logs"}) mkdir(m_dir.File(d).c_str(), 0700);
  m_port = StartOnFreePort(m_process, [&](int port) {
    const std::string& dir = m_dir.Path();
    orvtest::WriteFile(
        m_dir.File("nginx.conf"),
        // As root the workers keep root's rights: the test's folders are root's own.
        std::string(geteuid() == 0 ? "user root;\n" : "") + "daemon off;\nworker_processes 1;\n" +
            "pid " + dir + "/nginx.pid;\nerror_log " + dir + "/logs/error.log;\n" +
            "events { worker_connections 64; }\nhttp {\n"
            "  log_format t '$status \"$http_range\" \"$http_if_range\" \"$http_user_agent\" "
            "$request_uri $msec';\n  access_log " +
            dir + "/logs/access.log t;\n" + "  client_body_temp_path " + dir + "/tmp/body;\n" +
            "  proxy_temp_path " + dir + "/tmp/proxy;\n  fastcgi_temp_path " + dir +
            "/tmp/fastcgi;\n  uwsgi_temp_path " + dir + "/tmp/uwsgi;\n  scgi_temp_path " + dir +
            "/tmp/scgi;\n  default_type application/octet-stream;\n  server {\n" +
            "    listen 127.0.0.1:" + std::to_string(port) + ";\n    root " + root + ";\n" +
            serverLines + "\n  }\n}\n");
    return std::make_unique<orvtest::ChildProcess>(
        std::vector<std::string>{"/usr/sbin/nginx", "-p", dir, "-c", m_dir.File("nginx.conf"), "-e",
                                 m_dir.File("logs/error.log")});
  });
  if (m_port == 0) m_error = orvtest::ReadFile(m_dir.File("logs/error.log"));
}

Nginx::~Nginx() { m_process.reset(); }  // SIGTERM to the master: it ends its workers

std::vector<std::string> Nginx::AccessLog() const {
  return Lines(orvtest::ReadFile(m_dir.File("logs/access.log")));
}

Vsftpd::Vsftpd(const std::string& root, bool passive) {
  // Lets the update server's user in with any password, for this server only.
  static std::atomic<int> count{0};
  m_pamService = "orvinterop-" + std::to_string(getpid()) + "-" + std::to_string(count++);
  orvtest::WriteFile("/etc/pam.d/" + m_pamService,
                     "auth required pam_permit.so\naccount required pam_permit.so\n"
                     "session required pam_permit.so\n");
  mkdir(m_dir.File("empty").c_str(), 0755);
  m_port = StartOnFreePort(m_process, [&](int port) {
    orvtest::WriteFile(
        m_dir.File("vsftpd.conf"),
        "listen=YES\nlisten_ipv6=NO\nlisten_address=127.0.0.1\nlisten_port=" +
            std::to_string(port) +
            "\nbackground=NO\nanonymous_enable=NO\nlocal_enable=YES\nwrite_enable=NO\n"
            "pam_service_name=" +
            m_pamService + "\nlocal_root=" + root +
            "\nchroot_local_user=YES\nallow_writeable_chroot=YES\n"
            "secure_chroot_dir=" +
            m_dir.File("empty") + "\nseccomp_sandbox=NO\nconnect_from_port_20=NO\n" +
            "port_enable=YES\npasv_enable=" + (passive ? "YES" : "NO") +
            "\nxferlog_enable=YES\nlog_ftp_protocol=YES\nvsftpd_log_file=" +
            m_dir.File("vsftpd.log") + "\n");
    return std::make_unique<orvtest::ChildProcess>(
        std::vector<std::string>{"/usr/sbin/vsftpd", m_dir.File("vsftpd.conf")});
  });
  if (m_port == 0) m_error = Log();
}

Vsftpd::~Vsftpd() {
  m_process.reset();
  std::remove(("/etc/pam.d/" + m_pamService).c_str());
}

SpyneLogin::SpyneLogin() {
  m_process = std::make_unique<orvtest::ChildProcess>(std::vector<std::string>{
      ORV_PYTHON, Here("login_service.py"), "--calls", m_dir.File("calls.txt")});
  m_host = m_process->ReadAssignments({"ORVANTA_HOST_WEB"})["ORVANTA_HOST_WEB"];
}

std::vector<std::string> SpyneLogin::Calls() const {
  return Lines(orvtest::ReadFile(m_dir.File("calls.txt")));
}

}  // namespace interop
