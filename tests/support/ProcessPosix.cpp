// Child processes, temporary folders and the environment on Linux.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <thread>

#include "SupportPlatform.h"
#include "TestSupport.h"

extern char** environ;

namespace orvtest {
namespace fs = std::filesystem;

namespace detail {

void SetEnv(const std::string& name, const std::string* value) {
  if (value)
    setenv(name.c_str(), value->c_str(), 1);
  else
    unsetenv(name.c_str());
}

fs::path FsPath(const std::string& utf8) { return fs::path(utf8); }

}  // namespace detail

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
  if (m_out >= 0) close(static_cast<int>(m_out));
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
    pollfd p{static_cast<int>(m_out), POLLIN, 0};
    int r = poll(&p, 1, static_cast<int>(left.count()));
    if (r <= 0) return false;
    char buf[4096];
    ssize_t n = read(static_cast<int>(m_out), buf, sizeof buf);
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

void ChildProcess::Kill(bool atOnce) {
  if (m_pid <= 0 || m_exited) return;
  if (!atOnce) ::kill(m_pid, SIGTERM);
  if (atOnce || (Wait(std::chrono::seconds(3)) == -1 && !m_exited)) {
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

ScratchRegistryKeys::ScratchRegistryKeys(std::vector<std::string> keys) : m_keys(std::move(keys)) {}

ScratchRegistryKeys::~ScratchRegistryKeys() = default;

DefaultBrokenPipeAction::DefaultBrokenPipeAction() : m_previous(std::signal(SIGPIPE, SIG_DFL)) {}

DefaultBrokenPipeAction::~DefaultBrokenPipeAction() { std::signal(SIGPIPE, m_previous); }

SilentLocalListener::SilentLocalListener(const std::string& address) {
  const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_un addr{};
  addr.sun_family = AF_UNIX;
  std::snprintf(addr.sun_path, sizeof addr.sun_path, "%s", address.c_str());
  if (fd >= 0 && ::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0 &&
      ::listen(fd, 4) == 0) {
    m_handle = fd;
  } else if (fd >= 0) {
    ::close(fd);
  }
}

SilentLocalListener::~SilentLocalListener() {
  if (m_handle != -1) ::close(static_cast<int>(m_handle));
}

}  // namespace orvtest
