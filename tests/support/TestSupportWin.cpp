// The test helpers on Windows: the same interface as TestSupport.cpp, through Win32 calls.
// Stand-in servers written in Python run on the Linux side of the Wine run: the build script
// starts the stand-in platform and hands its addresses over in the environment.
#include <winsock2.h>
// after winsock2.h
#include <windows.h>
#include <ws2tcpip.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <sstream>
#include <thread>

#include "TestSupport.h"
#include "platform/ProgramDir.h"
#include "platform/win32/WinText.h"

namespace orvtest {
namespace fs = std::filesystem;
using plat::win::Narrow;
using plat::win::Widen;

namespace {

void SetEnv(const std::string& name, const std::string* value) {
  // Both the C runtime's copy (getenv) and the process environment (child processes).
  _putenv_s(name.c_str(), value ? value->c_str() : "");
  SetEnvironmentVariableW(Widen(name).c_str(), value ? Widen(*value).c_str() : nullptr);
}

// Process handles by process id, so that Wait and Kill reach the child after it exited.
std::mutex g_procMutex;
std::map<int, HANDLE> g_processes;

HANDLE ProcessOf(int pid) {
  std::lock_guard lock(g_procMutex);
  auto it = g_processes.find(pid);
  return it == g_processes.end() ? nullptr : it->second;
}

std::wstring Quote(const std::wstring& arg) {
  if (!arg.empty() && arg.find_first_of(L" \t\"") == std::wstring::npos) return arg;
  std::wstring out = L"\"";
  std::size_t backslashes = 0;
  for (wchar_t c : arg) {
    if (c == L'\\') {
      ++backslashes;
      continue;
    }
    out.append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
    backslashes = 0;
    out += c;
  }
  out.append(backslashes * 2, L'\\');
  return out + L"\"";
}

// The environment block of the parent plus `extra`.
std::wstring EnvBlock(const std::map<std::string, std::string>& extra) {
  std::map<std::wstring, std::wstring> env;
  wchar_t* block = GetEnvironmentStringsW();
  for (wchar_t* p = block; *p; p += wcslen(p) + 1) {
    std::wstring kv = p;
    auto eq = kv.find(L'=', 1);
    if (eq != std::wstring::npos) env[kv.substr(0, eq)] = kv.substr(eq + 1);
  }
  FreeEnvironmentStringsW(block);
  for (auto& [k, v] : extra) env[Widen(k)] = Widen(v);
  std::wstring out;
  for (auto& [k, v] : env) out += k + L"=" + v + L'\0';
  return out + L'\0';
}

// Starts argv with stdout (and stderr) to the given pipe ends; the process id, or -1.
int Spawn(const std::vector<std::string>& argv, const std::map<std::string, std::string>& extraEnv,
          HANDLE out, HANDLE err) {
  if (argv.empty()) return -1;
  std::wstring cmd;
  for (const auto& a : argv) cmd += (cmd.empty() ? L"" : L" ") + Quote(Widen(a));
  std::wstring env = EnvBlock(extraEnv);
  STARTUPINFOW si{};
  si.cb = sizeof si;
  si.dwFlags = STARTF_USESTDHANDLES;
  si.hStdInput = INVALID_HANDLE_VALUE;
  si.hStdOutput = out;
  si.hStdError = err ? err : GetStdHandle(STD_ERROR_HANDLE);
  PROCESS_INFORMATION pi{};
  if (!CreateProcessW(nullptr, cmd.data(), nullptr, nullptr, TRUE, CREATE_UNICODE_ENVIRONMENT,
                      env.data(), nullptr, &si, &pi))
    return -1;
  CloseHandle(pi.hThread);
  std::lock_guard lock(g_procMutex);
  g_processes[static_cast<int>(pi.dwProcessId)] = pi.hProcess;
  return static_cast<int>(pi.dwProcessId);
}

// A pipe whose write end the child inherits.
bool InheritablePipe(HANDLE& read, HANDLE& write) {
  SECURITY_ATTRIBUTES sa{sizeof sa, nullptr, TRUE};
  if (!CreatePipe(&read, &write, &sa, 0)) return false;
  SetHandleInformation(read, HANDLE_FLAG_INHERIT, 0);
  return true;
}

int WaitProcess(int pid, DWORD ms) {
  HANDLE h = ProcessOf(pid);
  if (!h || WaitForSingleObject(h, ms) != WAIT_OBJECT_0) return -1;
  DWORD code = 0;
  return GetExitCodeProcess(h, &code) ? static_cast<int>(code) : -1;
}

void Forget(int pid) {
  std::lock_guard lock(g_procMutex);
  auto it = g_processes.find(pid);
  if (it == g_processes.end()) return;
  CloseHandle(it->second);
  g_processes.erase(it);
}

bool Winsock() {
  static const bool ok = [] {
    WSADATA d;
    return WSAStartup(MAKEWORD(2, 2), &d) == 0;
  }();
  return ok;
}

}  // namespace

TempDir::TempDir() {
  static std::atomic<unsigned> counter{0};
  const fs::path base = fs::temp_directory_path();
  for (int i = 0; i < 100; ++i) {
    fs::path p = base / ("orvtest-" + std::to_string(GetCurrentProcessId()) + "-" +
                         std::to_string(counter++));
    std::error_code ec;
    if (fs::create_directory(p, ec)) {
      m_path = plat::ToNativePath(Narrow(p.wstring()));
      return;
    }
  }
}

TempDir::~TempDir() {
  std::error_code ec;
  fs::remove_all(fs::path(Widen(m_path)), ec);
}

TempProgramDir::TempProgramDir() {
  const char* old = std::getenv("ORVANTA_REGISTRY_ROOT");
  m_hadRegistry = old != nullptr;
  if (old) m_oldRegistry = old;
  fs::create_directories(fs::path(Widen(RegistryRoot())));
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
  if (!Winsock()) return 1;
  SOCKET s = socket(AF_INET, SOCK_STREAM, 0);
  if (s == INVALID_SOCKET) return 1;
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  int len = sizeof addr;
  int port = 1;
  if (bind(s, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0 &&
      getsockname(s, reinterpret_cast<sockaddr*>(&addr), &len) == 0)
    port = ntohs(addr.sin_port);
  closesocket(s);
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
  std::ifstream in(fs::path(Widen(path)), std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

void WriteFile(const std::string& path, const std::string& content) {
  fs::create_directories(fs::path(Widen(path)).parent_path());
  std::ofstream out(fs::path(Widen(path)), std::ios::binary | std::ios::trunc);
  out << content;
}

ChildProcess::ChildProcess(const std::vector<std::string>& argv,
                           const std::map<std::string, std::string>& extraEnv) {
  HANDLE r = nullptr, w = nullptr;
  if (!InheritablePipe(r, w)) return;
  m_pid = Spawn(argv, extraEnv, w, nullptr);
  CloseHandle(w);
  // Kernel handles fit in 32 bits (HandleToLong), so the pipe is kept in the int member.
  m_out = HandleToLong(r);
}

ChildProcess::~ChildProcess() {
  Kill();
  if (m_out != -1) CloseHandle(LongToHandle(m_out));
  if (m_pid > 0) Forget(m_pid);
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
    if (m_out == -1) return false;
    HANDLE h = LongToHandle(m_out);
    DWORD avail = 0;
    if (!PeekNamedPipe(h, nullptr, 0, nullptr, &avail, nullptr)) {
      // Writer gone: the rest of the buffer is the last line.
      if (!m_buffer.empty()) {
        line = m_buffer;
        m_buffer.clear();
        return true;
      }
      return false;
    }
    if (avail == 0) {
      if (std::chrono::steady_clock::now() >= end) return false;
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
      continue;
    }
    char buf[4096];
    DWORD n = 0;
    if (!::ReadFile(h, buf, std::min<DWORD>(avail, sizeof buf), &n, nullptr) || n == 0)
      return false;
    m_buffer.append(buf, n);
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
  int code = WaitProcess(m_pid, static_cast<DWORD>(timeout.count()));
  if (code != -1 || WaitForSingleObject(ProcessOf(m_pid), 0) == WAIT_OBJECT_0) m_exited = true;
  return code;
}

void ChildProcess::Kill() {
  if (m_pid <= 0 || m_exited) return;
  if (HANDLE h = ProcessOf(m_pid)) {
    TerminateProcess(h, 1);
    WaitForSingleObject(h, 5000);
  }
  m_exited = true;
}

int RunCommand(const std::vector<std::string>& argv, std::string* out, std::string* err,
               const std::map<std::string, std::string>& extraEnv) {
  HANDLE or_ = nullptr, ow = nullptr, er = nullptr, ew = nullptr;
  if (!InheritablePipe(or_, ow)) return -1;
  if (!InheritablePipe(er, ew)) {
    CloseHandle(or_);
    CloseHandle(ow);
    return -1;
  }
  int pid = Spawn(argv, extraEnv, ow, ew);
  CloseHandle(ow);
  CloseHandle(ew);
  std::string so, se;
  // Both pipes drained at once, so a child filling one of them cannot stall.
  std::thread errReader([&] {
    char buf[4096];
    DWORD n = 0;
    while (::ReadFile(er, buf, sizeof buf, &n, nullptr) && n > 0) se.append(buf, n);
  });
  char buf[4096];
  DWORD n = 0;
  while (::ReadFile(or_, buf, sizeof buf, &n, nullptr) && n > 0) so.append(buf, n);
  errReader.join();
  CloseHandle(or_);
  CloseHandle(er);
  if (out) *out = so;
  if (err) *err = se;
  if (pid <= 0) return -1;
  int code = WaitProcess(pid, INFINITE);
  Forget(pid);
  return code;
}

// The stand-in platform the build script started, known by the variables it exported.
PlatformSim::PlatformSim() : m_process({}) {
  for (const char* name :
       {"ORVANTA_HOST_APP", "ORVANTA_HOST_WEB", "ORVANTA_HOST_PORTAL", "ORVANTA_HOST_OA",
        "ORVANTA_HOST_LOG", "ORVANTA_HOST_DIAGNOSIS", "ORVANTA_HOST_MESSAGE", "ORVANTA_HOST_UPDATE",
        "ORVANTA_SIM_CONTROL", "ORVANTA_SIM_PUSH"})
    if (const char* v = std::getenv(name)) m_hosts[name] = v;
  m_ready = m_hosts.count("ORVANTA_SIM_CONTROL") > 0;
}

std::vector<std::unique_ptr<ScopedEnv>> PlatformSim::ExportHosts() const {
  std::vector<std::unique_ptr<ScopedEnv>> scoped;
  for (const auto& [name, value] : m_hosts)
    scoped.push_back(std::make_unique<ScopedEnv>(name, value));
  return scoped;
}

SilentServer::SilentServer() {
  if (!Winsock()) return;
  SOCKET s = socket(AF_INET, SOCK_STREAM, 0);
  if (s == INVALID_SOCKET) return;
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  int len = sizeof addr;
  if (bind(s, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || listen(s, 16) != 0 ||
      getsockname(s, reinterpret_cast<sockaddr*>(&addr), &len) != 0) {
    closesocket(s);
    return;
  }
  m_fd = static_cast<int>(s);
  m_port = ntohs(addr.sin_port);
  m_thread = std::thread([this] {
    for (;;) {
      SOCKET c = accept(static_cast<SOCKET>(m_fd), nullptr, nullptr);
      if (c == INVALID_SOCKET) return;
      m_clients.push_back(static_cast<int>(c));
      ++m_accepted;
    }
  });
}

SilentServer::~SilentServer() {
  if (m_fd != -1) closesocket(static_cast<SOCKET>(m_fd));
  if (m_thread.joinable()) m_thread.join();
  for (int c : m_clients) closesocket(static_cast<SOCKET>(c));
}

bool RunningUnderWine() {
  const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
  return ntdll && GetProcAddress(ntdll, "wine_get_version");
}

std::string SilentServer::Url() const { return "http://127.0.0.1:" + std::to_string(m_port) + "/"; }

}  // namespace orvtest
