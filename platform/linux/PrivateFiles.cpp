#include "platform/PrivateFiles.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <random>

namespace plat {
namespace {

// A folder we own, not a link, that no one else may enter or write to.
bool IsPrivateFolder(const std::string& path) {
  struct stat st {};
  return !path.empty() && path.front() == '/' && lstat(path.c_str(), &st) == 0 &&
         S_ISDIR(st.st_mode) && st.st_uid == geteuid() && (st.st_mode & 077) == 0;
}

// Creates path 0700 when missing; true when it is then a private folder.
bool MakePrivateFolder(const std::string& path) {
  if (mkdir(path.c_str(), 0700) != 0 && errno != EEXIST) return false;
  return IsPrivateFolder(path);
}

// Creates the missing folders of path 0700; existing ones are left as they are.
bool MakeFolders(const std::string& path) {
  for (std::size_t i = 1; i <= path.size(); ++i) {
    if (i != path.size() && path[i] != '/') continue;
    const std::string part = path.substr(0, i);
    if (mkdir(part.c_str(), 0700) != 0 && errno != EEXIST) return false;
  }
  struct stat st {};
  return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool WriteAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t n = write(fd, bytes.data(), bytes.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    bytes.remove_prefix(static_cast<std::size_t>(n));
  }
  return true;
}

}  // namespace

std::string PrivateRuntimeDirectory() {
  // A $XDG_RUNTIME_DIR left in the environment by su belongs to someone else: not ours.
  if (const char* dir = std::getenv("XDG_RUNTIME_DIR"); dir && IsPrivateFolder(dir)) return dir;
  const std::string tmp = "/tmp/orvanta-" + std::to_string(geteuid());
  if (MakePrivateFolder(tmp)) return tmp;
  // Someone else took the /tmp name: a folder in the home folder instead.
  if (const char* home = std::getenv("HOME"); home && *home == '/') {
    const std::string own = std::string(home) + "/.orvanta-run";
    if (MakePrivateFolder(own)) return own;
  }
  return {};
}

bool AppendToPrivateFile(const std::string& nativePath, std::string_view bytes) {
  constexpr int kFlags = O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NOFOLLOW;
  int fd = open(nativePath.c_str(), kFlags, 0600);
  if (fd < 0 && errno == ENOENT) {
    const std::size_t slash = nativePath.rfind('/');
    if (slash != std::string::npos && slash > 0 && MakeFolders(nativePath.substr(0, slash)))
      fd = open(nativePath.c_str(), kFlags, 0600);
  }
  if (fd < 0) return false;
  const bool ok = WriteAll(fd, bytes);
  close(fd);
  return ok;
}

bool RestrictToOwner(const std::string& nativePath) {
  const int fd = open(nativePath.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return false;
  struct stat st {};
  bool ok = fstat(fd, &st) == 0 && st.st_uid == geteuid();
  if (ok && (st.st_mode & 077) != 0) ok = fchmod(fd, st.st_mode & 07700) == 0;
  close(fd);
  return ok;
}

std::string WriteNewPrivateFile(const std::string& folder, const std::string& prefix,
                                const std::string& suffix, std::string_view content) {
  if (folder.empty()) return {};
  std::random_device random;
  static constexpr char kDigits[] = "0123456789abcdefghijklmnopqrstuvwxyz";
  for (int attempt = 0; attempt < 16; ++attempt) {
    std::string name;
    for (int i = 0; i < 16; ++i) name += kDigits[random() % 36];
    const std::string path = folder + "/" + prefix + name + suffix;
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0) {
      if (errno == EEXIST) continue;
      return {};
    }
    const bool ok = WriteAll(fd, content);
    close(fd);
    if (ok) return path;
    unlink(path.c_str());
    return {};
  }
  return {};
}

}  // namespace plat
