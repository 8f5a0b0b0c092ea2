#include "common/download/PartialFile.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <fstream>
#include <sstream>

#include "common/download/DownloadWorker.h"
#include "platform/ProgramDir.h"

namespace {

constexpr char kInfoSuffix[] = ".info";

// A header value written on one line of the validators file.
bool OneLine(const std::string& s) { return s.find_first_of("\r\n") == std::string::npos; }

}  // namespace

PartialFile::PartialFile(std::string target)
    : m_target(std::move(target)),
      m_temp(m_target + kPartialFileSuffix),
      m_info(m_temp + kInfoSuffix) {}

PartialFile::~PartialFile() { Discard(); }

int PartialFile::OpenLocked(bool create) {
  m_busy = false;
  int fd = ::open(m_temp.c_str(), O_WRONLY | O_CLOEXEC | (create ? O_CREAT : 0), 0644);
  if (fd < 0) return -1;
  // Another download may be writing the same target at this moment (a different URL for the
  // same file, or another process): its temporary file is locked, and writing into it would
  // corrupt both. Only a file nobody holds is taken, and only while it is still the one
  // under the name.
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    m_busy = errno == EWOULDBLOCK;
    ::close(fd);
    return -1;
  }
  struct stat held = {};
  struct stat named = {};
  if (::fstat(fd, &held) != 0 || ::stat(m_temp.c_str(), &named) != 0 ||
      held.st_dev != named.st_dev || held.st_ino != named.st_ino || !S_ISREG(held.st_mode)) {
    ::close(fd);
    return -1;
  }
  return fd;
}

bool PartialFile::Open() {
  Discard();
  if (m_target.empty() || !plat::MakeParentDirectories(m_target)) return false;
  int fd = OpenLocked(true);
  if (fd < 0) return false;
  // A file that is empty already is not truncated: truncating to zero makes the file system
  // flush the whole file when it is closed, which costs a large download much of its speed.
  struct stat held = {};
  if (::fstat(fd, &held) != 0 || (held.st_size > 0 && ::ftruncate(fd, 0) != 0)) {
    ::close(fd);
    return false;
  }
  m_fd = fd;
  m_size = 0;
  RemoveInfo();
  return true;
}

bool PartialFile::Continue(PartialValidators& validators) {
  Discard();
  m_busy = false;
  if (m_target.empty()) return false;
  std::ifstream in(m_info);
  if (!in) return false;
  PartialValidators v;
  std::string line;
  while (std::getline(in, line)) {
    const size_t eq = line.find('=');
    if (eq == std::string::npos) continue;
    const std::string key = line.substr(0, eq), value = line.substr(eq + 1);
    if (key == "size")
      v.total = std::atoll(value.c_str());
    else if (key == "etag")
      v.etag = value;
    else if (key == "last-modified")
      v.lastModified = value;
  }
  if (v.total <= 0 || (v.etag.empty() && v.lastModified.empty())) return false;
  int fd = OpenLocked(false);
  if (fd < 0) return false;
  const off_t end = ::lseek(fd, 0, SEEK_END);
  if (end <= 0 || end >= v.total) {
    // Nothing to continue, or more than the whole: not the file the validators describe.
    ::close(fd);
    return false;
  }
  m_fd = fd;
  m_size = end;
  validators = v;
  return true;
}

bool PartialFile::HeldElsewhere() const {
  if (m_fd >= 0) return false;
  int fd = ::open(m_temp.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return false;
  const bool held = ::flock(fd, LOCK_SH | LOCK_NB) != 0 && errno == EWOULDBLOCK;
  ::close(fd);
  return held;
}

bool PartialFile::SaveValidators(const PartialValidators& validators) {
  if (m_fd < 0 || !OneLine(validators.etag) || !OneLine(validators.lastModified)) return false;
  std::ostringstream text;
  text << "size=" << validators.total << "\netag=" << validators.etag
       << "\nlast-modified=" << validators.lastModified << "\n";
  // Written whole under a name of its own and renamed: a reader never sees half of it.
  const std::string temp = m_info + ".new";
  {
    std::ofstream out(temp, std::ios::binary | std::ios::trunc);
    out << text.str();
    if (!out.flush()) return false;
  }
  return std::rename(temp.c_str(), m_info.c_str()) == 0;
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
  RemoveInfo();
  bool ok = std::rename(m_temp.c_str(), m_target.c_str()) == 0;
  if (!ok) ::unlink(m_temp.c_str());
  ::close(m_fd);
  m_fd = -1;
  return ok;
}

void PartialFile::Discard() {
  if (m_fd < 0) return;
  RemoveInfo();
  ::unlink(m_temp.c_str());
  ::close(m_fd);
  m_fd = -1;
}

void PartialFile::Keep() {
  if (m_fd < 0) return;
  ::close(m_fd);
  m_fd = -1;
}

bool PartialFile::Rewind() {
  if (m_fd < 0) return false;
  RemoveInfo();
  if (m_size > 0 && ::ftruncate(m_fd, 0) != 0) return false;
  if (::lseek(m_fd, 0, SEEK_SET) != 0) return false;
  m_size = 0;
  return true;
}

void PartialFile::RemoveInfo() { ::unlink(m_info.c_str()); }
