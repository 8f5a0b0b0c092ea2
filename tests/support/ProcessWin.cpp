// Child processes, temporary folders and the environment on Windows. Programs named by a
// Linux path run on the Linux side through the launcher of the Wine run (host_launcher.py):
//   request  "A <len>\n<argument>" each, "V <len>\n<NAME=VALUE>" each, then "R\n";
//   answer   "P <pid>\n" once started, "O <len>\n<bytes>" and "E <len>\n<bytes>" for its
//            output and errors, "X <code>\n" at its end.
// Closing the connection ends the program.
#include <winsock2.h>
// after winsock2.h
#include <windows.h>

#include <cstdlib>
#include <mutex>
#include <thread>

#include "SupportPlatform.h"
#include "TestSupport.h"
#include "platform/ProgramDir.h"
#include "platform/Registry.h"
#include "platform/Socket.h"
#include "platform/win32/WinText.h"

namespace orvtest {
namespace fs = std::filesystem;
using plat::win::Narrow;
using plat::win::Widen;

namespace detail {

void SetEnv(const std::string& name, const std::string* value) {
  // Both the C runtime's copy (getenv) and the process environment (child processes).
  _putenv_s(name.c_str(), value ? value->c_str() : "");
  SetEnvironmentVariableW(Widen(name).c_str(), value ? Widen(*value).c_str() : nullptr);
}

fs::path FsPath(const std::string& utf8) { return fs::path(Widen(utf8)); }

}  // namespace detail

namespace {

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

// A Linux program: run through the launcher.
bool IsLinuxProgram(const std::vector<std::string>& argv) {
  return !argv.empty() && !argv[0].empty() && argv[0][0] == '/';
}

std::string Frame(char kind, const std::string& bytes) {
  return std::string(1, kind) + " " + std::to_string(bytes.size()) + "\n" + bytes;
}

// Connects to the launcher and sends the request; kNoSocket when there is none.
plat::net::Socket OpenLauncher(const std::vector<std::string>& argv,
                               const std::map<std::string, std::string>& extraEnv) {
  const char* where = std::getenv("ORVANTA_TEST_LAUNCHER");
  if (!where || !*where) return plat::net::kNoSocket;
  const std::string hostPort = where;
  const auto colon = hostPort.rfind(':');
  if (colon == std::string::npos) return plat::net::kNoSocket;
  const plat::net::Socket s = plat::net::OpenTcp();
  if (s == plat::net::kNoSocket) return s;
  if (!plat::net::Connect(s, hostPort.substr(0, colon), std::atoi(hostPort.c_str() + colon + 1))) {
    plat::net::Close(s);
    return plat::net::kNoSocket;
  }
  std::string request;
  for (const auto& a : argv) request += Frame('A', a);
  for (const auto& [k, v] : extraEnv) request += Frame('V', k + "=" + v);
  request += "R\n";
  if (plat::net::Send(s, request.data(), request.size()) != static_cast<long>(request.size())) {
    plat::net::Close(s);
    return plat::net::kNoSocket;
  }
  return s;
}

struct Frames {
  std::string out, err;
  int pid = -1;
  bool ended = false;
  int code = -1;
};

// Consumes the complete frames at the front of raw.
void Parse(std::string& raw, Frames& f) {
  for (;;) {
    const auto nl = raw.find('\n');
    if (nl == std::string::npos || nl < 1) return;
    const char kind = raw[0];
    const long value = std::atol(raw.c_str() + 1);
    if (kind == 'P' || kind == 'X') {
      (kind == 'P' ? f.pid : f.code) = static_cast<int>(value);
      if (kind == 'X') f.ended = true;
      raw.erase(0, nl + 1);
      continue;
    }
    const auto len = static_cast<std::size_t>(value);
    if (raw.size() < nl + 1 + len) return;
    (kind == 'O' ? f.out : f.err).append(raw, nl + 1, len);
    raw.erase(0, nl + 1 + len);
  }
}

// Reads what arrives within ms into f; false when the link is closed or broken.
bool Pump(plat::net::Socket s, std::string& raw, Frames& f, int ms) {
  const int ready = plat::net::WaitReadable(s, ms < 0 ? 0 : ms);
  if (ready < 0) return false;
  if (ready == 0) return true;
  char buf[8192];
  const long n = plat::net::Receive(s, buf, sizeof buf);
  if (n <= 0) return false;
  raw.append(buf, static_cast<std::size_t>(n));
  Parse(raw, f);
  return true;
}

int MsLeft(std::chrono::steady_clock::time_point end) {
  const auto left =
      std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now());
  return left.count() < 0 ? 0 : static_cast<int>(left.count());
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

ChildProcess::ChildProcess(const std::vector<std::string>& argv,
                           const std::map<std::string, std::string>& extraEnv) {
  if (IsLinuxProgram(argv)) {
    m_remote = true;
    const plat::net::Socket s = OpenLauncher(argv, extraEnv);
    if (s == plat::net::kNoSocket) return;
    m_out = s;
    Frames f;
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (f.pid < 0 && !f.ended && MsLeft(end) > 0 && Pump(s, m_frames, f, MsLeft(end))) {
    }
    m_buffer += f.out;
    m_pid = f.pid;
    if (f.ended) {
      m_exited = true;
      m_status = f.code;
    }
    return;
  }
  HANDLE r = nullptr, w = nullptr;
  if (!InheritablePipe(r, w)) return;
  m_pid = Spawn(argv, extraEnv, w, nullptr);
  CloseHandle(w);
  // Kernel handles fit in 32 bits (HandleToLong), so the pipe is kept as an integer.
  m_out = HandleToLong(r);
}

ChildProcess::~ChildProcess() {
  Kill();
  if (m_remote) {
    plat::net::Close(m_out);
    return;
  }
  if (m_out != -1) CloseHandle(LongToHandle(static_cast<long>(m_out)));
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
    if (m_remote) {
      Frames f;
      const bool open = !m_exited && Pump(m_out, m_frames, f, MsLeft(end));
      m_buffer += f.out;
      if (f.ended) {
        m_exited = true;
        m_status = f.code;
      }
      if (m_buffer.find('\n') != std::string::npos) continue;
      if (!open || m_exited) {
        // The output ended: the rest of the buffer is the last line.
        if (m_buffer.empty()) return false;
        line = m_buffer;
        m_buffer.clear();
        return true;
      }
      if (MsLeft(end) == 0) return false;
      continue;
    }
    HANDLE h = LongToHandle(static_cast<long>(m_out));
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

int ChildProcess::Wait(std::chrono::milliseconds timeout) {
  if (m_pid <= 0) return -1;
  if (m_remote) {
    const auto end = std::chrono::steady_clock::now() + timeout;
    while (!m_exited) {
      Frames f;
      const bool open = Pump(m_out, m_frames, f, MsLeft(end));
      m_buffer += f.out;
      if (f.ended) {
        m_exited = true;
        m_status = f.code;
      }
      if (!open && !m_exited) return -1;
      if (!m_exited && MsLeft(end) == 0) return -1;
    }
    return m_status;
  }
  int code = WaitProcess(m_pid, static_cast<DWORD>(timeout.count()));
  if (code != -1 || WaitForSingleObject(ProcessOf(m_pid), 0) == WAIT_OBJECT_0) m_exited = true;
  return code;
}

void ChildProcess::Kill(bool) {
  if (m_pid <= 0 || m_exited) return;
  if (m_remote) {
    // The launcher ends the program when the connection closes.
    plat::net::Close(m_out);
    m_out = -1;
    m_exited = true;
    return;
  }
  if (HANDLE h = ProcessOf(m_pid)) {
    TerminateProcess(h, 1);
    WaitForSingleObject(h, 5000);
  }
  m_exited = true;
}

namespace {

int RunLinuxCommand(const std::vector<std::string>& argv, std::string* out, std::string* err,
                    const std::map<std::string, std::string>& extraEnv) {
  const plat::net::Socket s = OpenLauncher(argv, extraEnv);
  if (s == plat::net::kNoSocket) return -1;
  std::string raw;
  Frames f;
  while (!f.ended && Pump(s, raw, f, 1000)) {
  }
  plat::net::Close(s);
  if (out) *out = f.out;
  if (err) *err = f.err;
  return f.ended && f.pid > 0 ? f.code : -1;
}

}  // namespace

int RunCommand(const std::vector<std::string>& argv, std::string* out, std::string* err,
               const std::map<std::string, std::string>& extraEnv) {
  if (IsLinuxProgram(argv)) return RunLinuxCommand(argv, out, err, extraEnv);
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
  // Both pipes drained while the child runs, so a child filling one of them cannot stall;
  // reading ends with the child, not at the pipes' end: a Wine service the child started
  // (explorer's desktop) inherits them and keeps them open.
  auto drain = [](HANDLE h, std::string& into) {
    DWORD avail = 0;
    char buf[4096];
    while (PeekNamedPipe(h, nullptr, 0, nullptr, &avail, nullptr) && avail > 0) {
      DWORD n = 0;
      if (!::ReadFile(h, buf, std::min<DWORD>(avail, sizeof buf), &n, nullptr) || n == 0) break;
      into.append(buf, n);
    }
  };
  HANDLE process = pid > 0 ? ProcessOf(pid) : nullptr;
  for (bool ended = process == nullptr; !ended;) {
    ended = WaitForSingleObject(process, 5) == WAIT_OBJECT_0;
    drain(or_, so);
    drain(er, se);
  }
  CloseHandle(or_);
  CloseHandle(er);
  if (out) *out = so;
  if (err) *err = se;
  if (pid <= 0) return -1;
  int code = WaitProcess(pid, INFINITE);
  Forget(pid);
  return code;
}

namespace {

// Where this process keeps the keys it moved aside.
std::string BackupRoot() {
  return "SOFTWARE\\OrvantaTestBackup\\" + std::to_string(GetCurrentProcessId());
}

// Copies the key with everything below it into `to` (created); false when `from` is missing.
bool CopyKey(const std::string& from, const std::string& to) {
  HKEY src = nullptr, dst = nullptr;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, Widen(from).c_str(), 0, KEY_READ | KEY_WOW64_64KEY, &src) !=
      ERROR_SUCCESS)
    return false;
  const bool ok =
      RegCreateKeyExW(HKEY_LOCAL_MACHINE, Widen(to).c_str(), 0, nullptr, 0,
                      KEY_ALL_ACCESS | KEY_WOW64_64KEY, nullptr, &dst, nullptr) == ERROR_SUCCESS &&
      RegCopyTreeW(src, nullptr, dst) == ERROR_SUCCESS;
  RegCloseKey(src);
  if (dst) RegCloseKey(dst);
  return ok;
}

}  // namespace

ScratchRegistryKeys::ScratchRegistryKeys(std::vector<std::string> keys) : m_keys(std::move(keys)) {
  for (std::size_t i = 0; i < m_keys.size(); ++i) {
    while (!m_keys[i].empty() && m_keys[i].back() == '\\') m_keys[i].pop_back();
    Was was = Was::Absent;
    if (plat::reg::KeyExists(m_keys[i]))
      // A key that cannot be saved is left as it is rather than lost.
      was =
          CopyKey(m_keys[i], BackupRoot() + "\\" + std::to_string(i)) ? Was::Saved : Was::LeftAlone;
    m_was.push_back(was);
    if (was != Was::LeftAlone) plat::reg::DeleteKey(m_keys[i]);
  }
}

ScratchRegistryKeys::~ScratchRegistryKeys() {
  for (std::size_t i = 0; i < m_keys.size(); ++i) {
    if (m_was[i] == Was::LeftAlone) continue;
    plat::reg::DeleteKey(m_keys[i]);
    if (m_was[i] == Was::Saved) CopyKey(BackupRoot() + "\\" + std::to_string(i), m_keys[i]);
  }
  plat::reg::DeleteKey(BackupRoot());
  if (plat::reg::EnumSubKeys("SOFTWARE\\OrvantaTestBackup").empty())
    plat::reg::DeleteKey("SOFTWARE\\OrvantaTestBackup");
}

DefaultBrokenPipeAction::DefaultBrokenPipeAction() = default;
DefaultBrokenPipeAction::~DefaultBrokenPipeAction() = default;

// A pipe instance nobody serves: a client's open succeeds, its request is never read.
SilentLocalListener::SilentLocalListener(const std::string& address) {
  HANDLE h = CreateNamedPipeW(Widen(address).c_str(), PIPE_ACCESS_DUPLEX,
                              PIPE_TYPE_BYTE | PIPE_READMODE_BYTE | PIPE_WAIT,
                              PIPE_UNLIMITED_INSTANCES, 256, 256, 0, nullptr);
  if (h != INVALID_HANDLE_VALUE) m_handle = HandleToLong(h);
}

SilentLocalListener::~SilentLocalListener() {
  if (m_handle != -1) CloseHandle(LongToHandle(static_cast<long>(m_handle)));
}

bool RunningUnderWine() {
  const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
  return ntdll && GetProcAddress(ntdll, "wine_get_version");
}

}  // namespace orvtest
