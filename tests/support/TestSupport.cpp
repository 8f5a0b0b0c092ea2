// The helpers that read the same on both systems; processes and temporary folders are in
// ProcessPosix.cpp and ProcessWin.cpp.
#include "TestSupport.h"

#include <cstdlib>
#include <fstream>
#include <sstream>

#include "SupportPlatform.h"
#include "platform/ProgramDir.h"
#include "platform/Socket.h"

namespace orvtest {
namespace fs = std::filesystem;
using detail::FsPath;
using detail::SetEnv;

TempProgramDir::TempProgramDir() {
  const char* old = std::getenv("ORVANTA_REGISTRY_ROOT");
  m_hadRegistry = old != nullptr;
  if (old) m_oldRegistry = old;
  fs::create_directories(FsPath(RegistryRoot()));
  const std::string root = RegistryRoot();
  SetEnv("ORVANTA_REGISTRY_ROOT", &root);
  plat::SetProgramDirectory(m_dir.Path());
}

TempProgramDir::~TempProgramDir() {
  plat::SetProgramDirectory("");
  SetEnv("ORVANTA_REGISTRY_ROOT", m_hadRegistry ? &m_oldRegistry : nullptr);
}

ScopedEnv::ScopedEnv(const std::string& name, const std::string& value) : m_name(name) {
  if (const char* old = std::getenv(name.c_str())) {
    m_old = old;
    m_had = true;
  }
  SetEnv(name, &value);
}

ScopedEnv::~ScopedEnv() { SetEnv(m_name, m_had ? &m_old : nullptr); }

int ClosedLoopbackPort() {
  int port = 1;
  const plat::net::Socket s = plat::net::ListenLoopback(&port);
  plat::net::Close(s);
  return port;
}

std::string HttpGet(const std::string& url) {
  const std::string scheme = "http://";
  if (url.rfind(scheme, 0) != 0) return {};
  const auto slash = url.find('/', scheme.size());
  const std::string hostPort = url.substr(scheme.size(), slash - scheme.size());
  const std::string target = slash == std::string::npos ? "/" : url.substr(slash);
  const auto colon = hostPort.rfind(':');
  if (colon == std::string::npos) return {};
  const plat::net::Socket s = plat::net::OpenTcp();
  std::string answer;
  if (s != plat::net::kNoSocket &&
      plat::net::Connect(s, hostPort.substr(0, colon), std::atoi(hostPort.c_str() + colon + 1))) {
    plat::net::SetReceiveTimeout(s, 10000);
    const std::string request =
        "GET " + target + " HTTP/1.0\r\nHost: " + hostPort + "\r\nConnection: close\r\n\r\n";
    if (plat::net::Send(s, request.data(), request.size()) == static_cast<long>(request.size())) {
      char buf[4096];
      long n;
      while ((n = plat::net::Receive(s, buf, sizeof buf)) > 0)
        answer.append(buf, static_cast<size_t>(n));
    }
  }
  plat::net::Close(s);
  const auto end = answer.find("\r\n\r\n");
  return end == std::string::npos ? "" : answer.substr(end + 4);
}

std::string ExeName(const std::string& name) {
#ifdef _WIN32
  return name + ".exe";
#else
  return name;
#endif
}

std::string Program(const std::string& name) {
  return std::string(ORV_BIN_DIR) + "/" + ExeName(name);
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
  std::ifstream in(FsPath(path), std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

void WriteFile(const std::string& path, const std::string& content) {
  fs::create_directories(FsPath(path).parent_path());
  std::ofstream out(FsPath(path), std::ios::binary | std::ios::trunc);
  out << content;
}

std::string Lf(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i)
    if (text[i] != '\r' || i + 1 == text.size() || text[i + 1] != '\n') out += text[i];
  return out;
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
  m_fd = plat::net::ListenLoopback(&m_port);
  if (m_fd == plat::net::kNoSocket) return;
  m_thread = std::thread([this] {
    for (;;) {
      const plat::net::Socket c = plat::net::Accept(m_fd);
      if (c == plat::net::kNoSocket) return;
      m_clients.push_back(c);
      ++m_accepted;
    }
  });
}

SilentServer::~SilentServer() {
  // Shutting the listener down wakes the blocked accept on Linux; closing it does on Windows.
  plat::net::Shutdown(m_fd);
  plat::net::Close(m_fd);
  if (m_thread.joinable()) m_thread.join();
  for (const auto c : m_clients) plat::net::Close(c);
}

std::string SilentServer::Url() const { return "http://127.0.0.1:" + std::to_string(m_port) + "/"; }

}  // namespace orvtest
