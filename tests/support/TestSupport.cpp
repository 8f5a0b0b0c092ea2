#include "TestSupport.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "platform/ProgramDir.h"

extern char** environ;

namespace orvtest {
namespace fs = std::filesystem;

TempDir::TempDir() {
  std::string base = fs::temp_directory_path().string() + "/orvtest-XXXXXX";
  std::vector<char> tmpl(base.begin(), base.end());
  tmpl.push_back('\0');
  char* made = mkdtemp(tmpl.data());
  m_path = made ? made : base;
}

TempDir::~TempDir() {
  std::error_code ec;
  fs::remove_all(m_path, ec);
}

TempProgramDir::TempProgramDir() {
  const char* old = std::getenv("ORVANTA_REGISTRY_ROOT");
  m_hadRegistry = old != nullptr;
  if (old) m_oldRegistry = old;
  fs::create_directories(RegistryRoot());
  setenv("ORVANTA_REGISTRY_ROOT", RegistryRoot().c_str(), 1);
  plat::SetProgramDirectory(m_dir.Path());
}

TempProgramDir::~TempProgramDir() {
  plat::SetProgramDirectory("");
  if (m_hadRegistry)
    setenv("ORVANTA_REGISTRY_ROOT", m_oldRegistry.c_str(), 1);
  else
    unsetenv("ORVANTA_REGISTRY_ROOT");
}

ScopedEnv::ScopedEnv(const std::string& name, const std::string& value) : m_name(name) {
  if (const char* old = std::getenv(name.c_str())) {
    m_old = old;
    m_had = true;
  }
  setenv(name.c_str(), value.c_str(), 1);
}

ScopedEnv::~ScopedEnv() {
  if (m_had)
    setenv(m_name.c_str(), m_old.c_str(), 1);
  else
    unsetenv(m_name.c_str());
}

int ClosedLoopbackPort() {
  int fd = socket(AF_INET, SOCK_STREAM, 0);
  if (fd < 0) return 1;
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t len = sizeof addr;
  int port = 1;
  if (bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0 &&
      getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len) == 0)
    port = ntohs(addr.sin_port);
  close(fd);
  return port;
}

bool WaitUntil(const std::function<bool()>& pred, std::chrono::milliseconds timeout) {
  auto end = std::chrono::steady_clock::now() + timeout;
  while (std::chrono::steady_clock::now() < end) {
    if (pred()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return pred();
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

void WriteFile(const std::string& path, const std::string& content) {
  fs::create_directories(fs::path(path).parent_path());
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << content;
}

namespace {

std::vector<std::string> BuildEnv(const std::map<std::string, std::string>& extra) {
  std::map<std::string, std::string> env;
  for (char** e = environ; *e; ++e) {
    std::string kv = *e;
    auto eq = kv.find('=');
    if (eq != std::string::npos) env[kv.substr(0, eq)] = kv.substr(eq + 1);
  }
  for (auto& [k, v] : extra) env[k] = v;
  std::vector<std::string> out;
  for (auto& [k, v] : env) out.push_back(k + "=" + v);
  return out;
}

std::vector<char*> Pointers(std::vector<std::string>& v) {
  std::vector<char*> p;
  for (auto& s : v) p.push_back(s.data());
  p.push_back(nullptr);
  return p;
}

}  // namespace

ChildProcess::ChildProcess(const std::vector<std::string>& argv,
                           const std::map<std::string, std::string>& extraEnv) {
  int fds[2];
  if (pipe2(fds, O_CLOEXEC) != 0) return;
  posix_spawn_file_actions_t fa;
  posix_spawn_file_actions_init(&fa);
  posix_spawn_file_actions_adddup2(&fa, fds[1], 1);
  std::vector<std::string> args = argv;
  std::vector<std::string> env = BuildEnv(extraEnv);
  auto argp = Pointers(args);
  auto envp = Pointers(env);
  pid_t pid = -1;
  if (posix_spawnp(&pid, argp[0], &fa, nullptr, argp.data(), envp.data()) == 0) m_pid = pid;
  posix_spawn_file_actions_destroy(&fa);
  close(fds[1]);
  m_out = fds[0];
}

ChildProcess::~ChildProcess() {
  Kill();
  if (m_out >= 0) close(m_out);
}

bool ChildProcess::ReadLine(std::string& line, std::chrono::milliseconds timeout) {
  auto end = std::chrono::steady_clock::now() + timeout;
  for (;;) {
    auto nl = m_buffer.find('\n');
    if (nl != std::string::npos) {
      line = m_buffer.substr(0, nl);
      if (!line.empty() && line.back() == '\r') line.pop_back();
      m_buffer.erase(0, nl + 1);
      return true;
    }
    if (m_out < 0) return false;
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        end - std::chrono::steady_clock::now());
    if (left.count() <= 0) return false;
    pollfd p{m_out, POLLIN, 0};
    int r = poll(&p, 1, static_cast<int>(left.count()));
    if (r <= 0) return false;
    char buf[4096];
    ssize_t n = read(m_out, buf, sizeof buf);
    if (n <= 0) {
      if (!m_buffer.empty()) {
        line = m_buffer;
        m_buffer.clear();
        return true;
      }
      return false;
    }
    m_buffer.append(buf, static_cast<size_t>(n));
  }
}

std::map<std::string, std::string> ChildProcess::ReadAssignments(
    const std::vector<std::string>& keys, std::chrono::milliseconds timeout) {
  std::map<std::string, std::string> found;
  auto end = std::chrono::steady_clock::now() + timeout;
  std::string line;
  while (found.size() < keys.size()) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        end - std::chrono::steady_clock::now());
    if (left.count() <= 0 || !ReadLine(line, left)) break;
    auto eq = line.find('=');
    if (eq == std::string::npos) continue;
    std::string key = line.substr(0, eq);
    for (auto& k : keys)
      if (k == key) found[key] = line.substr(eq + 1);
  }
  return found;
}

int ChildProcess::Wait(std::chrono::milliseconds timeout) {
  if (m_pid <= 0) return -1;
  if (!m_exited) {
    auto end = std::chrono::steady_clock::now() + timeout;
    for (;;) {
      pid_t r = waitpid(m_pid, &m_status, WNOHANG);
      if (r == m_pid) {
        m_exited = true;
        break;
      }
      if (std::chrono::steady_clock::now() >= end) return -1;
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
  }
  return WIFEXITED(m_status) ? WEXITSTATUS(m_status) : -1;
}

void ChildProcess::Kill() {
  if (m_pid <= 0 || m_exited) return;
  ::kill(m_pid, SIGTERM);
  if (Wait(std::chrono::seconds(3)) == -1 && !m_exited) {
    ::kill(m_pid, SIGKILL);
    waitpid(m_pid, &m_status, 0);
    m_exited = true;
  }
}

int RunCommand(const std::vector<std::string>& argv, std::string* out, std::string* err,
               const std::map<std::string, std::string>& extraEnv) {
  int o[2], e[2];
  if (pipe2(o, O_CLOEXEC) != 0) return -1;
  if (pipe2(e, O_CLOEXEC) != 0) return -1;
  posix_spawn_file_actions_t fa;
  posix_spawn_file_actions_init(&fa);
  posix_spawn_file_actions_adddup2(&fa, o[1], 1);
  posix_spawn_file_actions_adddup2(&fa, e[1], 2);
  posix_spawn_file_actions_addopen(&fa, 0, "/dev/null", O_RDONLY, 0);
  std::vector<std::string> args = argv;
  std::vector<std::string> env = BuildEnv(extraEnv);
  auto argp = Pointers(args);
  auto envp = Pointers(env);
  pid_t pid = -1;
  int rc = posix_spawnp(&pid, argp[0], &fa, nullptr, argp.data(), envp.data());
  posix_spawn_file_actions_destroy(&fa);
  close(o[1]);
  close(e[1]);
  std::string so, se;
  pollfd p[2] = {{o[0], POLLIN, 0}, {e[0], POLLIN, 0}};
  int open = 2;
  while (rc == 0 && open > 0) {
    if (poll(p, 2, -1) < 0) break;
    for (int i = 0; i < 2; ++i) {
      if (p[i].fd < 0 || !(p[i].revents & (POLLIN | POLLHUP | POLLERR))) continue;
      char buf[4096];
      ssize_t n = read(p[i].fd, buf, sizeof buf);
      if (n <= 0) {
        p[i].fd = -1;
        --open;
      } else {
        (i == 0 ? so : se).append(buf, static_cast<size_t>(n));
      }
    }
  }
  close(o[0]);
  close(e[0]);
  if (out) *out = so;
  if (err) *err = se;
  if (rc != 0) return -1;
  int status = 0;
  waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

PlatformSim::PlatformSim()
    : m_process({ORV_PYTHON, std::string(ORV_SOURCE_DIR) + "/tools/platform-sim/platform_sim.py",
                 "--no-update"}) {
  std::string line;
  while (m_process.ReadLine(line, std::chrono::seconds(20))) {
    if (line == "READY") {
      m_ready = true;
      break;
    }
    const auto eq = line.find('=');
    if (eq != std::string::npos) m_hosts[line.substr(0, eq)] = line.substr(eq + 1);
  }
}

std::vector<std::unique_ptr<ScopedEnv>> PlatformSim::ExportHosts() const {
  std::vector<std::unique_ptr<ScopedEnv>> scoped;
  for (const auto& [name, value] : m_hosts)
    scoped.push_back(std::make_unique<ScopedEnv>(name, value));
  return scoped;
}

SilentServer::SilentServer() {
  m_fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  bind(m_fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
  listen(m_fd, 16);
  socklen_t len = sizeof addr;
  getsockname(m_fd, reinterpret_cast<sockaddr*>(&addr), &len);
  m_port = ntohs(addr.sin_port);
  m_thread = std::thread([this] {
    for (;;) {
      int c = accept(m_fd, nullptr, nullptr);
      if (c < 0) return;
      m_clients.push_back(c);
      ++m_accepted;
    }
  });
}

SilentServer::~SilentServer() {
  shutdown(m_fd, SHUT_RDWR);
  close(m_fd);
  m_thread.join();
  for (int c : m_clients) close(c);
}

std::string SilentServer::Url() const { return "http://127.0.0.1:" + std::to_string(m_port) + "/"; }

}  // namespace orvtest
