#include "platform/ProgramDir.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <mutex>

namespace plat {
namespace {

// Never destroyed: the log writer's thread can still ask for the folder while the program's
// statics are being destroyed at exit.
std::mutex g_mutex;
std::string& g_override = *new std::string;

std::string ExecutableFolder() {
  char buf[PATH_MAX];
  ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
  if (n <= 0) return ".";
  std::string path(buf, static_cast<size_t>(n));
  auto slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

}  // namespace

std::string ProgramDirectory() {
  std::lock_guard lock(g_mutex);
  if (!g_override.empty()) return g_override;
  static const std::string& folder = *new std::string(ExecutableFolder());
  return folder;
}

void SetProgramDirectory(const std::string& dir) {
  std::lock_guard lock(g_mutex);
  g_override = dir;
  while (g_override.size() > 1 && g_override.back() == '/') g_override.pop_back();
}

bool MakeDirectories(const std::string& nativePath) {
  if (nativePath.empty()) return false;
  std::string path = nativePath;
  for (size_t i = 1; i <= path.size(); ++i) {
    if (i == path.size() || path[i] == '/') {
      std::string part = path.substr(0, i);
      if (mkdir(part.c_str(), 0755) != 0 && errno != EEXIST) return false;
    }
  }
  struct stat st {};
  return stat(nativePath.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool MakeParentDirectories(const std::string& nativeFilePath) {
  auto slash = nativeFilePath.rfind('/');
  if (slash == std::string::npos || slash == 0) return true;
  return MakeDirectories(nativeFilePath.substr(0, slash));
}

bool FileExists(const std::string& nativePath) {
  struct stat st {};
  return stat(nativePath.c_str(), &st) == 0;
}

}  // namespace plat
