#include "platform/ProgramDir.h"

#include "platform/win32/WinText.h"

#include <windows.h>

#include <mutex>

// Native paths use '/' as the separator on Windows too (the wide file calls accept it), so the
// core's path handling is the same on both systems; a path may begin with a drive ("C:/x") or
// a UNC share ("//server/share/x").

namespace plat {
namespace {

std::mutex g_mutex;
std::string g_override;

std::string ExecutableFolder() {
  std::wstring buf(MAX_PATH, L'\0');
  for (;;) {
    DWORD n = GetModuleFileNameW(nullptr, buf.data(), static_cast<DWORD>(buf.size()));
    if (n == 0) return ".";
    if (n < buf.size()) {
      buf.resize(n);
      break;
    }
    buf.resize(buf.size() * 2);
  }
  std::string path = ToNativePath(win::Narrow(buf));
  auto slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  if (slash == 2 && path[1] == ':') return path.substr(0, 3);  // "C:/"
  return path.substr(0, slash);
}

// Length of the part of a path that names no folder to create: "C:", "C:/", "//server/share".
std::size_t RootLength(const std::string& p) {
  if (p.size() >= 2 && p[1] == ':') return (p.size() >= 3 && p[2] == '/') ? 3 : 2;
  if (p.size() >= 2 && p[0] == '/' && p[1] == '/') {
    std::size_t server = p.find('/', 2);
    if (server == std::string::npos) return p.size();
    std::size_t share = p.find('/', server + 1);
    return share == std::string::npos ? p.size() : share + 1;
  }
  return p.empty() || p[0] != '/' ? 0 : 1;
}

bool IsFolder(const std::string& nativePath) {
  DWORD a = GetFileAttributesW(win::WidePath(nativePath).c_str());
  return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}

}  // namespace

std::string ProgramDirectory() {
  std::lock_guard lock(g_mutex);
  if (!g_override.empty()) return g_override;
  static const std::string folder = ExecutableFolder();
  return folder;
}

void SetProgramDirectory(const std::string& dir) {
  std::lock_guard lock(g_mutex);
  g_override = ToNativePath(dir);
  while (g_override.size() > RootLength(g_override) && g_override.back() == '/')
    g_override.pop_back();
}

bool MakeDirectories(const std::string& nativePath) {
  if (nativePath.empty()) return false;
  const std::string path = ToNativePath(nativePath);
  for (std::size_t i = RootLength(path) + 1; i <= path.size(); ++i) {
    if (i == path.size() || path[i] == '/') {
      std::string part = path.substr(0, i);
      if (part.empty() || part.back() == '/') continue;
      if (!CreateDirectoryW(win::WidePath(part).c_str(), nullptr) &&
          GetLastError() != ERROR_ALREADY_EXISTS)
        return false;
    }
  }
  return IsFolder(path);
}

bool MakeParentDirectories(const std::string& nativeFilePath) {
  const std::string path = ToNativePath(nativeFilePath);
  auto slash = path.rfind('/');
  if (slash == std::string::npos || slash < RootLength(path)) return true;
  if (slash + 1 == RootLength(path)) return true;
  return MakeDirectories(path.substr(0, slash));
}

bool FileExists(const std::string& nativePath) {
  return GetFileAttributesW(win::WidePath(nativePath).c_str()) != INVALID_FILE_ATTRIBUTES;
}

}  // namespace plat
