#include "common/download/PartialFile.h"

#include <fcntl.h>
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
  m_fd = ::open(m_temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  m_size = 0;
  return m_fd >= 0;
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
  bool ok = ::close(m_fd) == 0;
  m_fd = -1;
  if (ok && std::rename(m_temp.c_str(), m_target.c_str()) == 0) return true;
  ::unlink(m_temp.c_str());
  return false;
}

void PartialFile::Discard() {
  if (m_fd < 0) return;
  ::close(m_fd);
  m_fd = -1;
  ::unlink(m_temp.c_str());
}
