#include "platform/ProfileFile.h"

#include "platform/win32/WinText.h"

#include <windows.h>

#include <algorithm>
#include <chrono>
#include <thread>

// Windows cannot rename over a file that is held open, and its byte-range locks are
// mandatory, so the file itself is not the lock. Writers serialise on a named mutex derived
// from the file's full path (case-folded, as the file system compares it), which is shared
// by every process of the session; the complete new content is written to a temporary file
// in the same folder and put in place with ReplaceFileW (MoveFileExW for a new file).
// Readers take the same lock, so they read the old or the new file whole; another program
// holding the file open can make a replacement fail for a moment: it is retried.

namespace plat::profile_file {
namespace {

struct Handle {
  HANDLE h = INVALID_HANDLE_VALUE;
  explicit Handle(HANDLE v) : h(v) {}
  ~Handle() {
    if (h && h != INVALID_HANDLE_VALUE) CloseHandle(h);
  }
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;
  bool ok() const { return h && h != INVALID_HANDLE_VALUE; }
};

std::wstring FullPath(const std::wstring& path) {
  DWORD n = GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
  if (n == 0) return path;
  std::wstring out(n, L'\0');
  n = GetFullPathNameW(path.c_str(), n, out.data(), nullptr);
  out.resize(n);
  return out;
}

// Name of the writers' mutex: a hash of the case-folded full path (mutex names may not
// hold backslashes and are limited in length).
std::wstring MutexName(const std::wstring& fullPath) {
  std::wstring folded = fullPath;
  CharUpperBuffW(folded.data(), static_cast<DWORD>(folded.size()));
  unsigned long long h = 1469598103934665603ull;  // FNV-1a
  for (wchar_t c : folded) {
    h ^= static_cast<unsigned long long>(c);
    h *= 1099511628211ull;
  }
  wchar_t buf[64];
  swprintf(buf, 64, L"Local\\OrvantaProfile-%016llx", h);
  return buf;
}

class WriterLock {
 public:
  explicit WriterLock(const std::wstring& fullPath)
      : m_mutex(CreateMutexW(nullptr, FALSE, MutexName(fullPath).c_str())) {
    if (!m_mutex) return;
    DWORD r = WaitForSingleObject(m_mutex, INFINITE);
    // An abandoned mutex (a writer died holding it) is ours now; the file itself was only
    // ever replaced whole.
    m_held = r == WAIT_OBJECT_0 || r == WAIT_ABANDONED;
  }
  ~WriterLock() {
    if (m_held) ReleaseMutex(m_mutex);
    if (m_mutex) CloseHandle(m_mutex);
  }
  WriterLock(const WriterLock&) = delete;
  WriterLock& operator=(const WriterLock&) = delete;
  bool held() const { return m_held; }

 private:
  HANDLE m_mutex;
  bool m_held = false;
};

std::optional<std::string> ReadHandle(HANDLE h) {
  std::string out;
  char buf[8192];
  for (;;) {
    DWORD n = 0;
    if (!ReadFile(h, buf, sizeof buf, &n, nullptr)) return std::nullopt;
    if (n == 0) break;
    out.append(buf, n);
  }
  return out;
}

HANDLE OpenForRead(const std::wstring& path) {
  return CreateFileW(path.c_str(), GENERIC_READ,
                     FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                     FILE_ATTRIBUTE_NORMAL, nullptr);
}

bool FolderExists(const std::wstring& filePath) {
  std::size_t slash = filePath.find_last_of(L"\\");
  if (slash == std::wstring::npos) return true;
  std::wstring dir = filePath.substr(0, slash + 1);
  DWORD a = GetFileAttributesW(dir.c_str());
  return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}

// Puts tmp in place of target; retried while another process briefly holds the target.
bool Replace(const std::wstring& tmp, const std::wstring& target, bool exists) {
  for (int attempt = 0; attempt < 200; ++attempt) {
    BOOL ok = exists ? ReplaceFileW(target.c_str(), tmp.c_str(), nullptr,
                                    REPLACEFILE_IGNORE_MERGE_ERRORS, nullptr, nullptr)
                     : MoveFileExW(tmp.c_str(), target.c_str(), MOVEFILE_WRITE_THROUGH);
    if (ok) return true;
    DWORD err = GetLastError();
    if (err != ERROR_SHARING_VIOLATION && err != ERROR_ACCESS_DENIED &&
        err != ERROR_UNABLE_TO_REMOVE_REPLACED && err != ERROR_LOCK_VIOLATION)
      return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return false;
}

}  // namespace

std::optional<std::string> ReadFileBytes(const std::string& path) {
  // Under the writers' lock: a replacement is no single step on Windows, and a reader must
  // not find the file missing half-way through one.
  const std::wstring full = FullPath(win::WidePath(path));
  WriterLock lock(full);
  if (!lock.held()) return std::nullopt;
  Handle h(OpenForRead(full));
  if (!h.ok()) return std::nullopt;
  return ReadHandle(h.h);
}

// `mode` is a POSIX permission set; on Windows the access list the file inherits from its
// folder decides who may read it, so the mode is not applied.
bool ModifyFile(const std::string& nativeFile, bool create,
                const std::function<EditResult(std::string&)>& edit, int /*mode*/) {
  const std::wstring target = FullPath(win::WidePath(nativeFile));
  if (!FolderExists(target)) return false;
  WriterLock lock(target);
  if (!lock.held()) return false;
  std::optional<std::string> content;
  bool exists = false;
  {
    Handle h(OpenForRead(target));
    if (h.ok()) {
      exists = true;
      content = ReadHandle(h.h);
    } else if (GetLastError() == ERROR_FILE_NOT_FOUND) {
      if (!create) return true;
      content = std::string();
    }
  }
  if (!content) return false;
  if (exists) {
    DWORD a = GetFileAttributesW(target.c_str());
    if (a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_READONLY)) return false;
  }
  EditResult r = edit(*content);
  if (r == EditResult::Failed) return false;
  if (r == EditResult::Unchanged && exists) return true;
  // A temporary file beside the target, so the replacement stays on one volume.
  std::size_t slash = target.find_last_of(L"\\");
  std::wstring dir = slash == std::wstring::npos ? L"." : target.substr(0, slash);
  std::wstring tmp;
  HANDLE th = INVALID_HANDLE_VALUE;
  for (int i = 0; i < 100 && th == INVALID_HANDLE_VALUE; ++i) {
    wchar_t name[64];
    swprintf(name, 64, L"\\.orv%08lx%04x.tmp", GetCurrentProcessId(),
             static_cast<unsigned>(GetTickCount() + i) & 0xFFFF);
    tmp = dir + name;
    th = CreateFileW(tmp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL,
                     nullptr);
    if (th == INVALID_HANDLE_VALUE && GetLastError() != ERROR_FILE_EXISTS) return false;
  }
  if (th == INVALID_HANDLE_VALUE) return false;
  bool ok = true;
  {
    Handle h(th);
    std::size_t done = 0;
    while (ok && done < content->size()) {
      DWORD n = 0;
      DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(content->size() - done, 1 << 20));
      ok = WriteFile(h.h, content->data() + done, chunk, &n, nullptr) && n > 0;
      done += n;
    }
    ok = ok && FlushFileBuffers(h.h);
  }
  ok = ok && Replace(tmp, target, exists);
  if (!ok) DeleteFileW(tmp.c_str());
  return ok;
}

}  // namespace plat::profile_file
