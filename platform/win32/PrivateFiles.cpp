#include "platform/PrivateFiles.h"

#include "platform/ProgramDir.h"
#include "platform/win32/WinText.h"

#include <windows.h>

#include <random>

namespace plat {
namespace {

// A folder, not a link (a reparse point could lead anywhere).
bool IsPlainFolder(const std::wstring& path) {
  const DWORD a = GetFileAttributesW(path.c_str());
  return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY) &&
         !(a & FILE_ATTRIBUTE_REPARSE_POINT);
}

bool MakePlainFolder(const std::wstring& path) {
  if (!CreateDirectoryW(path.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS)
    return false;
  return IsPlainFolder(path);
}

std::wstring Environment(const wchar_t* name) {
  wchar_t buf[MAX_PATH + 1];
  const DWORD n = GetEnvironmentVariableW(name, buf, MAX_PATH + 1);
  return n > 0 && n <= MAX_PATH ? std::wstring(buf, n) : std::wstring();
}

bool WriteAll(HANDLE h, std::string_view bytes) {
  while (!bytes.empty()) {
    DWORD n = 0;
    const DWORD chunk = bytes.size() > (1u << 30) ? (1u << 30) : static_cast<DWORD>(bytes.size());
    if (!WriteFile(h, bytes.data(), chunk, &n, nullptr) || n == 0) return false;
    bytes.remove_prefix(n);
  }
  return true;
}

}  // namespace

// The user's own folders (%LOCALAPPDATA%, else the user's temporary folder) carry an access
// list that admits the user, the system and administrators only; the folder made in them
// inherits it, so the files in it need no permissions of their own.
std::string PrivateRuntimeDirectory() {
  for (std::wstring base : {Environment(L"LOCALAPPDATA"), std::wstring()}) {
    if (base.empty()) {
      wchar_t temp[MAX_PATH + 1];
      const DWORD n = GetTempPathW(MAX_PATH + 1, temp);
      if (n == 0 || n > MAX_PATH) continue;
      base.assign(temp, n);
    }
    while (!base.empty() && (base.back() == L'\\' || base.back() == L'/')) base.pop_back();
    if (!IsPlainFolder(base)) continue;
    const std::wstring own = base + L"\\Orvanta";
    const std::wstring run = own + L"\\Run";
    if (!MakePlainFolder(own) || !MakePlainFolder(run)) continue;
    std::string out = win::Narrow(run);
    for (char& c : out)
      if (c == '\\') c = '/';
    return out;
  }
  return {};
}

bool AppendToPrivateFile(const std::string& nativePath, std::string_view bytes) {
  const std::wstring path = win::WidePath(nativePath);
  HANDLE h = CreateFileW(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                         FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (h == INVALID_HANDLE_VALUE && GetLastError() == ERROR_PATH_NOT_FOUND &&
      MakeParentDirectories(nativePath))
    h = CreateFileW(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                    FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  // A link at the file's place is not written through.
  BY_HANDLE_FILE_INFORMATION info{};
  const bool ok = GetFileInformationByHandle(h, &info) &&
                  !(info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) && WriteAll(h, bytes);
  CloseHandle(h);
  return ok;
}

// Permissions are the folder's access list (see PrivateRuntimeDirectory): nothing to drop.
bool RestrictToOwner(const std::string& nativePath) {
  return GetFileAttributesW(win::WidePath(nativePath).c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::string WriteNewPrivateFile(const std::string& folder, const std::string& prefix,
                                const std::string& suffix, std::string_view content) {
  static constexpr char kLetters[] = "abcdefghijklmnopqrstuvwxyz0123456789";
  std::random_device random;
  for (int attempt = 0; attempt < 16; ++attempt) {
    std::string name = prefix;
    for (int i = 0; i < 12; ++i) name += kLetters[random() % (sizeof kLetters - 1)];
    const std::string path = folder + "/" + name + suffix;
    HANDLE h = CreateFileW(win::WidePath(path).c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                           CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
      if (GetLastError() == ERROR_FILE_EXISTS) continue;
      return {};
    }
    const bool ok = WriteAll(h, content);
    CloseHandle(h);
    if (ok) return path;
    DeleteFileW(win::WidePath(path).c_str());
    return {};
  }
  return {};
}

}  // namespace plat
