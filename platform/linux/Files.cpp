#include "platform/Files.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace plat {

int CurrentProcessId() { return static_cast<int>(::getpid()); }

bool WritePrivateFile(const std::string& nativePath, std::string_view content) {
  const int fd = ::open(nativePath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  if (fd < 0) return false;
  bool ok = ::fchmod(fd, 0600) == 0;  // a file left by an older release may be wider
  std::size_t done = 0;
  while (ok && done < content.size()) {
    const ssize_t n = ::write(fd, content.data() + done, content.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) ok = false;
    if (n > 0) done += static_cast<std::size_t>(n);
  }
  return ::close(fd) == 0 && ok;
}

std::filesystem::path FsPath(const std::string& nativePath) { return nativePath; }

std::FILE* OpenFile(const std::string& nativePath, const char* mode) {
  return std::fopen(nativePath.c_str(), mode);
}

std::FILE* CreateNewFile(const std::string& nativePath) {
  return std::fopen(nativePath.c_str(), "wbxe");
}

// The holder keeps an exclusive flock on the file; an Open checks that the file it locked
// is still the one under the name (a holder may have renamed it away meanwhile).
struct ExclusiveFile::Impl {
  std::string path;
  int fd = -1;
  std::int64_t size = 0;
  bool busy = false;
};

ExclusiveFile::ExclusiveFile() : m_impl(std::make_unique<Impl>()) {}
ExclusiveFile::~ExclusiveFile() { Close(); }

bool ExclusiveFile::Open(const std::string& nativePath, bool create) {
  Close();
  m_impl->busy = false;
  int fd = ::open(nativePath.c_str(), O_WRONLY | O_CLOEXEC | (create ? O_CREAT : 0), 0644);
  if (fd < 0) return false;
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    m_impl->busy = errno == EWOULDBLOCK;
    ::close(fd);
    return false;
  }
  struct stat held = {};
  struct stat named = {};
  if (::fstat(fd, &held) != 0 || ::stat(nativePath.c_str(), &named) != 0 ||
      held.st_dev != named.st_dev || held.st_ino != named.st_ino || !S_ISREG(held.st_mode) ||
      ::lseek(fd, 0, SEEK_END) < 0) {
    ::close(fd);
    return false;
  }
  m_impl->path = nativePath;
  m_impl->fd = fd;
  m_impl->size = held.st_size;
  return true;
}

bool ExclusiveFile::Busy() const { return m_impl->busy; }

bool ExclusiveFile::HeldElsewhere(const std::string& nativePath) {
  int fd = ::open(nativePath.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return false;
  const bool held = ::flock(fd, LOCK_SH | LOCK_NB) != 0 && errno == EWOULDBLOCK;
  ::close(fd);
  return held;
}

bool ExclusiveFile::IsOpen() const { return m_impl->fd >= 0; }
std::int64_t ExclusiveFile::Size() const { return m_impl->size; }

bool ExclusiveFile::Write(const char* data, std::size_t size) {
  if (m_impl->fd < 0) return false;
  while (size > 0) {
    ssize_t n = ::write(m_impl->fd, data, size);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    data += n;
    size -= static_cast<std::size_t>(n);
    m_impl->size += n;
  }
  return true;
}

bool ExclusiveFile::Truncate() {
  if (m_impl->fd < 0) return false;
  // An empty file is not truncated again: truncating makes the file system flush the
  // whole file when it is closed, which costs a large download much of its speed.
  if (m_impl->size > 0 && ::ftruncate(m_impl->fd, 0) != 0) return false;
  if (::lseek(m_impl->fd, 0, SEEK_SET) != 0) return false;
  m_impl->size = 0;
  return true;
}

bool ExclusiveFile::CommitTo(const std::string& targetPath) {
  if (m_impl->fd < 0) return false;
  bool ok = std::rename(m_impl->path.c_str(), targetPath.c_str()) == 0;
  if (!ok) ::unlink(m_impl->path.c_str());
  ::close(m_impl->fd);
  m_impl->fd = -1;
  return ok;
}

void ExclusiveFile::Remove() {
  if (m_impl->fd < 0) return;
  ::unlink(m_impl->path.c_str());
  Close();
}

void ExclusiveFile::Close() {
  if (m_impl->fd >= 0) ::close(m_impl->fd);
  m_impl->fd = -1;
}

}  // namespace plat
