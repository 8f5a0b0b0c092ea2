#include "platform/Files.h"

#include "platform/win32/WinText.h"

#include <windows.h>
// the C runtime's descriptors over system handles
#include <fcntl.h>
#include <io.h>

#include <cstring>
#include <vector>

namespace plat {

int CurrentProcessId() { return static_cast<int>(GetCurrentProcessId()); }

// The file inherits its access list from its folder: under the program's own folder that
// admits the user and administrators only.
bool WritePrivateFile(const std::string& nativePath, std::string_view content) {
  HANDLE h = CreateFileW(win::WidePath(nativePath).c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                         CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  bool ok = true;
  std::size_t done = 0;
  while (ok && done < content.size()) {
    DWORD n = 0;
    ok = WriteFile(h, content.data() + done, static_cast<DWORD>(content.size() - done), &n,
                   nullptr) &&
         n > 0;
    done += n;
  }
  return CloseHandle(h) && ok;
}

std::filesystem::path FsPath(const std::string& nativePath) {
  return std::filesystem::path(win::WidePath(nativePath));
}

std::FILE* OpenFile(const std::string& nativePath, const char* mode) {
  return _wfopen(win::WidePath(nativePath).c_str(), win::Widen(mode).c_str());
}

std::FILE* CreateNewFile(const std::string& nativePath) {
  HANDLE h = CreateFileW(win::WidePath(nativePath).c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                         CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return nullptr;
  int fd = _open_osfhandle(reinterpret_cast<intptr_t>(h), _O_WRONLY | _O_BINARY);
  if (fd < 0) {
    CloseHandle(h);
    return nullptr;
  }
  std::FILE* f = _fdopen(fd, "wb");
  if (!f) _close(fd);
  return f;
}

// The holder opens the file without sharing, so any other open of it fails; renaming and
// removing go through the open handle (DELETE access), so the file is never free between.
struct ExclusiveFile::Impl {
  std::wstring path;
  HANDLE h = INVALID_HANDLE_VALUE;
  std::int64_t size = 0;
  bool busy = false;

  bool Dispose() {
    FILE_DISPOSITION_INFO d{};
    d.DeleteFile = TRUE;
    return SetFileInformationByHandle(h, FileDispositionInfo, &d, sizeof d) != 0;
  }
};

ExclusiveFile::ExclusiveFile() : m_impl(std::make_unique<Impl>()) {}
ExclusiveFile::~ExclusiveFile() { Close(); }

bool ExclusiveFile::Open(const std::string& nativePath, bool create) {
  Close();
  m_impl->busy = false;
  const std::wstring path = win::WidePath(nativePath);
  // Opened without sharing: while held, every other open of the file fails.
  HANDLE h = CreateFileW(path.c_str(), GENERIC_WRITE | DELETE, 0, nullptr,
                         create ? OPEN_ALWAYS : OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    m_impl->busy = GetLastError() == ERROR_SHARING_VIOLATION;
    return false;
  }
  LARGE_INTEGER size{};
  LARGE_INTEGER zero{};
  if (!GetFileSizeEx(h, &size) || !SetFilePointerEx(h, zero, nullptr, FILE_END)) {
    CloseHandle(h);
    return false;
  }
  m_impl->path = path;
  m_impl->h = h;
  m_impl->size = size.QuadPart;
  return true;
}

bool ExclusiveFile::Busy() const { return m_impl->busy; }

bool ExclusiveFile::HeldElsewhere(const std::string& nativePath) {
  HANDLE h = CreateFileW(win::WidePath(nativePath).c_str(), GENERIC_READ,
                         FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                         OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return GetLastError() == ERROR_SHARING_VIOLATION;
  CloseHandle(h);
  return false;
}

bool ExclusiveFile::IsOpen() const { return m_impl->h != INVALID_HANDLE_VALUE; }
std::int64_t ExclusiveFile::Size() const { return m_impl->size; }

bool ExclusiveFile::Write(const char* data, std::size_t size) {
  if (!IsOpen()) return false;
  while (size > 0) {
    DWORD n = 0;
    DWORD chunk = size > (1u << 30) ? (1u << 30) : static_cast<DWORD>(size);
    if (!WriteFile(m_impl->h, data, chunk, &n, nullptr) || n == 0) return false;
    data += n;
    size -= n;
    m_impl->size += n;
  }
  return true;
}

bool ExclusiveFile::Truncate() {
  if (!IsOpen()) return false;
  LARGE_INTEGER zero{};
  if (!SetFilePointerEx(m_impl->h, zero, nullptr, FILE_BEGIN)) return false;
  if (m_impl->size > 0 && !SetEndOfFile(m_impl->h)) return false;
  m_impl->size = 0;
  return true;
}

bool ExclusiveFile::CommitTo(const std::string& targetPath) {
  if (!IsOpen()) return false;
  const std::wstring target = win::WidePath(targetPath);
  std::vector<unsigned char> buf(sizeof(FILE_RENAME_INFO) + target.size() * sizeof(wchar_t));
  auto* info = reinterpret_cast<FILE_RENAME_INFO*>(buf.data());
  info->ReplaceIfExists = TRUE;
  info->RootDirectory = nullptr;
  info->FileNameLength = static_cast<DWORD>(target.size() * sizeof(wchar_t));
  std::memcpy(info->FileName, target.c_str(), target.size() * sizeof(wchar_t));
  FlushFileBuffers(m_impl->h);
  bool ok = SetFileInformationByHandle(m_impl->h, FileRenameInfo, info,
                                       static_cast<DWORD>(buf.size())) != 0;
  if (!ok) m_impl->Dispose();
  Close();
  return ok;
}

void ExclusiveFile::Remove() {
  if (!IsOpen()) return;
  m_impl->Dispose();
  Close();
}

void ExclusiveFile::Close() {
  if (m_impl->h != INVALID_HANDLE_VALUE) CloseHandle(m_impl->h);
  m_impl->h = INVALID_HANDLE_VALUE;
}

}  // namespace plat
