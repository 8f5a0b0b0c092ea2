#include "common/download/PartialFile.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "common/download/DownloadWorker.h"
#include "platform/ProgramDir.h"

PartialFile::PartialFile(std::string target)
    : m_target(std::move(target)), m_temp(m_target + kPartialFileSuffix) {}

PartialFile::~PartialFile() { Discard(); }

bool PartialFile::Open() {
  Discard();
  if (m_target.empty() || !plat::MakeParentDirectories(m_target)) return false;
  int fd = ::open(m_temp.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
  if (fd < 0) return false;
  // Another download may be writing the same target at this moment (a different URL for the
  // same file): its temporary file is locked, and writing into it would corrupt both. Only
  // a file nobody holds is taken, and only while it is still the one under the name. A file
  // that is empty already is not truncated: truncating to zero makes the file system flush
  // the whole file when it is closed, which costs a large download much of its speed.
  struct stat held = {};
  struct stat named = {};
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0 || ::fstat(fd, &held) != 0 ||
      ::stat(m_temp.c_str(), &named) != 0 || held.st_dev != named.st_dev ||
      held.st_ino != named.st_ino || (held.st_size > 0 && ::ftruncate(fd, 0) != 0)) {
    ::close(fd);
    return false;
  }
  m_fd = fd;
  m_size = 0;
  return true;
}

bool PartialFile::Write(const char* data, size_t size) {
  if (m_fd < 0) return false;
  // Written as it arrives, unbuffered: the network chunks are large enough.
  while (size > 0) {
    ssize_t n = ::write(m_fd, data, size);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    data += n;
    size -= static_cast<size_t>(n);
    m_size += n;
  }
  return true;
}

bool PartialFile::Commit() {
  if (m_fd < 0) return false;
  // Renamed and removed while the lock is held, so no other download takes the file between.
  bool ok = std::rename(m_temp.c_str(), m_target.c_str()) == 0;
  if (!ok) ::unlink(m_temp.c_str());
  ::close(m_fd);
  m_fd = -1;
  return ok;
}

void PartialFile::Discard() {
  if (m_fd < 0) return;
  ::unlink(m_temp.c_str());
  ::close(m_fd);
  m_fd = -1;
}

bool PartialFile::Rewind() {
  if (m_fd < 0) return false;
  if (m_size > 0 && ::ftruncate(m_fd, 0) != 0) return false;
  if (::lseek(m_fd, 0, SEEK_SET) != 0) return false;
  m_size = 0;
  return true;
}
