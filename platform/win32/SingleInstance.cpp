#include "platform/SingleInstance.h"

#include "platform/win32/WinText.h"

#include <windows.h>

#include <algorithm>
#include <chrono>
#include <thread>

// The named mutex "Local\<name>" marks the first instance of the session: whoever creates
// it first is the first instance, and the system drops it with the last handle, so a dead
// instance leaves nothing behind. Publishing the window is serving the named pipe
// "\\.\pipe\<name>": a second instance connects, sends "ACTIVATE\n" and waits for "OK\n".
// A holder that could not publish creates the event "Local\<name>.unpublished", which makes
// waiting instances give up.
// Windows gives the foreground only to the process the user is working in, which is the second
// instance: it lets the first take the foreground (AllowSetForegroundWindow) before asking,
// and after the answer finds the first instance's window and brings it forward itself.

namespace plat {
namespace {

constexpr char kRequest[] = "ACTIVATE\n";
constexpr char kAnswer[] = "OK\n";
constexpr int kRequestTimeoutMs = 2000;
constexpr int kPollStepMs = 20;
// How long a second start waits for the first instance's window to show.
constexpr int kForwardWaitMs = 1000;

// Overlapped read or write on a pipe, given up after timeoutMs (-1: no limit).
bool TransferWithin(HANDLE h, char* data, DWORD size, bool write, int timeoutMs, DWORD& done) {
  OVERLAPPED ov{};
  ov.hEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  if (!ov.hEvent) return false;
  BOOL ok = write ? WriteFile(h, data, size, nullptr, &ov) : ReadFile(h, data, size, nullptr, &ov);
  if (!ok && GetLastError() == ERROR_IO_PENDING) {
    if (WaitForSingleObject(ov.hEvent, timeoutMs < 0 ? INFINITE : static_cast<DWORD>(timeoutMs)) !=
        WAIT_OBJECT_0) {
      CancelIo(h);
    }
    ok = GetOverlappedResult(h, &ov, &done, TRUE);
  } else if (ok) {
    ok = GetOverlappedResult(h, &ov, &done, TRUE);
  }
  CloseHandle(ov.hEvent);
  return ok && done > 0;
}

bool ReadLine(HANDLE h, std::string& line, int timeoutMs) {
  auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  line.clear();
  while (line.size() < 256) {
    int left = static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                    end - std::chrono::steady_clock::now())
                                    .count());
    if (left <= 0) return false;
    char buf[64];
    DWORD n = 0;
    if (!TransferWithin(h, buf, sizeof buf, false, left, n)) return false;
    line.append(buf, n);
    if (auto nl = line.find('\n'); nl != std::string::npos) {
      line.resize(nl);
      return true;
    }
  }
  return false;
}

bool WriteText(HANDLE h, const char* text, int timeoutMs) {
  std::string s = text;
  DWORD n = 0;
  return TransferWithin(h, s.data(), static_cast<DWORD>(s.size()), true, timeoutMs, n) &&
         n == s.size();
}

// The first visible, unowned top-level window of process `pid` (its main window), or null.
HWND MainWindowOf(DWORD pid) {
  struct Search {
    DWORD pid;
    HWND found;
  } search{pid, nullptr};
  EnumWindows(
      [](HWND w, LPARAM p) -> BOOL {
        auto* s = reinterpret_cast<Search*>(p);
        DWORD owner = 0;
        GetWindowThreadProcessId(w, &owner);
        if (owner != s->pid || !IsWindowVisible(w) || GetWindow(w, GW_OWNER)) return TRUE;
        s->found = w;
        return FALSE;
      },
      reinterpret_cast<LPARAM>(&search));
  return search.found;
}

// Brings the window of process `pid` forward once it shows (the first instance restores it
// from the tray on its own thread after answering), waiting up to timeoutMs.
void BringForward(DWORD pid, int timeoutMs) {
  for (int waited = 0;; waited += kPollStepMs) {
    if (HWND w = MainWindowOf(pid)) {
      if (IsIconic(w)) ShowWindow(w, SW_RESTORE);
      SetForegroundWindow(w);
      return;
    }
    if (waited >= timeoutMs) return;
    Sleep(kPollStepMs);
  }
}

}  // namespace

struct InstanceLock::Impl {
  std::wstring mutexName, pipeName, failedName;
  std::string lockPath, socketPath;
  HANDLE mutex = nullptr;
  HANDLE failedMark = nullptr;
  HANDLE stop = nullptr;
  std::thread listener;
  std::function<void()> onActivate;

  // Serves one connection after another until `stop` is signalled.
  void Listen() {
    for (;;) {
      HANDLE pipe = CreateNamedPipeW(
          pipeName.c_str(), PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED,
          PIPE_TYPE_BYTE | PIPE_READMODE_BYTE | PIPE_WAIT | PIPE_REJECT_REMOTE_CLIENTS,
          PIPE_UNLIMITED_INSTANCES, 256, 256, 0, nullptr);
      if (pipe == INVALID_HANDLE_VALUE) return;
      OVERLAPPED ov{};
      ov.hEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
      bool connected = ConnectNamedPipe(pipe, &ov) != 0;
      DWORD err = GetLastError();
      if (!connected && err == ERROR_PIPE_CONNECTED) connected = true;
      if (!connected && err == ERROR_IO_PENDING) {
        HANDLE waits[2] = {ov.hEvent, stop};
        DWORD r = WaitForMultipleObjects(2, waits, FALSE, INFINITE);
        if (r != WAIT_OBJECT_0) {
          CancelIo(pipe);
          CloseHandle(ov.hEvent);
          CloseHandle(pipe);
          return;
        }
        DWORD n = 0;
        connected = GetOverlappedResult(pipe, &ov, &n, FALSE) != 0;
      }
      CloseHandle(ov.hEvent);
      if (connected) {
        std::string line;
        if (ReadLine(pipe, line, kRequestTimeoutMs) && line + "\n" == kRequest) {
          if (onActivate) onActivate();
          WriteText(pipe, kAnswer, kRequestTimeoutMs);
          FlushFileBuffers(pipe);
        }
        DisconnectNamedPipe(pipe);
      }
      CloseHandle(pipe);
      if (WaitForSingleObject(stop, 0) == WAIT_OBJECT_0) return;
    }
  }

  void StopListening() {
    if (listener.joinable()) {
      SetEvent(stop);
      listener.join();
    }
    if (stop) CloseHandle(stop);
    stop = nullptr;
  }

  bool LockTaken() const {
    HANDLE h = OpenMutexW(SYNCHRONIZE, FALSE, mutexName.c_str());
    if (!h) return false;
    CloseHandle(h);
    return true;
  }

  bool PublicationFailed() const {
    HANDLE h = OpenEventW(SYNCHRONIZE, FALSE, failedName.c_str());
    if (!h) return false;
    CloseHandle(h);
    return true;
  }

  void MarkFailed() {
    if (!failedMark) failedMark = CreateEventW(nullptr, TRUE, FALSE, failedName.c_str());
  }

  // 1 done, 0 not yet published (try again), -1 failed after connecting.
  int TryActivate(int answerTimeoutMs) const {
    HANDLE h = CreateFileW(pipeName.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                           OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
    if (h == INVALID_HANDLE_VALUE) return 0;  // not there yet, or busy with another instance
    ULONG firstPid = 0;
    if (GetNamedPipeServerProcessId(h, &firstPid)) AllowSetForegroundWindow(firstPid);
    std::string line;
    int result = WriteText(h, kRequest, answerTimeoutMs) && ReadLine(h, line, answerTimeoutMs) &&
                         line + "\n" == kAnswer
                     ? 1
                     : -1;
    CloseHandle(h);
    if (result > 0 && firstPid && firstPid != GetCurrentProcessId())
      BringForward(firstPid, kForwardWaitMs);
    return result;
  }
};

InstanceLock::InstanceLock(std::string name) : m_impl(std::make_unique<Impl>()) {
  // Backslashes are not allowed in kernel object names below the namespace prefix.
  std::replace(name.begin(), name.end(), '\\', '_');
  m_impl->lockPath = "Local\\" + name;
  m_impl->socketPath = "\\\\.\\pipe\\" + name;
  m_impl->mutexName = win::Widen(m_impl->lockPath);
  m_impl->pipeName = win::Widen(m_impl->socketPath);
  m_impl->failedName = win::Widen(m_impl->lockPath + ".unpublished");
}

InstanceLock::~InstanceLock() { Close(); }

bool InstanceLock::TryAcquire() {
  if (m_impl->mutex) return true;
  HANDLE h = CreateMutexW(nullptr, FALSE, m_impl->mutexName.c_str());
  if (!h) return false;  // e.g. a name taken by another kind of object
  if (GetLastError() == ERROR_ALREADY_EXISTS) {
    CloseHandle(h);
    return false;
  }
  m_impl->mutex = h;
  return true;
}

bool InstanceLock::Held() const { return m_impl->mutex != nullptr; }

bool InstanceLock::Publish(std::function<void()> onActivate) {
  if (!Held()) return false;
  if (m_impl->listener.joinable()) return true;
  // Probe that the pipe name is ours before answering that the window is published.
  HANDLE probe =
      CreateNamedPipeW(m_impl->pipeName.c_str(), PIPE_ACCESS_DUPLEX | FILE_FLAG_FIRST_PIPE_INSTANCE,
                       PIPE_TYPE_BYTE, PIPE_UNLIMITED_INSTANCES, 256, 256, 0, nullptr);
  m_impl->stop = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  if (probe == INVALID_HANDLE_VALUE || !m_impl->stop) {
    if (probe != INVALID_HANDLE_VALUE) CloseHandle(probe);
    m_impl->StopListening();
    m_impl->MarkFailed();
    return false;
  }
  m_impl->onActivate = std::move(onActivate);
  m_impl->listener = std::thread([impl = m_impl.get()] { impl->Listen(); });
  // The listener's own instance exists before the probe goes, so the name is never free.
  for (int i = 0; i < 200; ++i) {
    if (WaitNamedPipeW(m_impl->pipeName.c_str(), 0) || GetLastError() == ERROR_SEM_TIMEOUT) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  CloseHandle(probe);
  return true;
}

bool InstanceLock::ActivateRunning(int timeoutMs) {
  auto start = std::chrono::steady_clock::now();
  auto elapsed = [&] {
    return static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                std::chrono::steady_clock::now() - start)
                                .count());
  };
  for (;;) {
    int answerTimeout =
        timeoutMs < 0 ? kRequestTimeoutMs * 2 : std::max(timeoutMs - elapsed(), kRequestTimeoutMs);
    int r = m_impl->TryActivate(answerTimeout);
    if (r != 0) return r > 0;
    if (!m_impl->LockTaken()) return false;
    if (m_impl->PublicationFailed()) return false;
    if (timeoutMs >= 0 && elapsed() >= timeoutMs) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(kPollStepMs));
  }
}

void InstanceLock::Close() {
  m_impl->StopListening();
  if (m_impl->failedMark) CloseHandle(m_impl->failedMark);
  m_impl->failedMark = nullptr;
  if (m_impl->mutex) CloseHandle(m_impl->mutex);
  m_impl->mutex = nullptr;
}

std::string InstanceLock::LockPath() const { return m_impl->lockPath; }
std::string InstanceLock::SocketPath() const { return m_impl->socketPath; }

}  // namespace plat
