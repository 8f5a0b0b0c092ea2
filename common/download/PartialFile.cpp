#include "common/download/PartialFile.h"

#include <unistd.h>

#include <cstdio>

#include "common/download/DownloadWorker.h"
#include "platform/ProgramDir.h"

namespace {
constexpr size_t kFileBufferSize = 64 * 1024;
}

PartialFile::PartialFile(std::string target)
    : m_target(std::move(target)), m_temp(m_target + kPartialFileSuffix) {}

PartialFile::~PartialFile() { Discard(); }

bool PartialFile::Open() {
  Discard();
  if (m_target.empty() || !plat::MakeParentDirectories(m_target)) return false;
  m_file = std::fopen(m_temp.c_str(), "wb");
  if (!m_file) return false;
  std::setvbuf(m_file, nullptr, _IOFBF, kFileBufferSize);
  m_size = 0;
  return true;
}

bool PartialFile::Write(const char* data, size_t size) {
  if (!m_file) return false;
  if (size && std::fwrite(data, 1, size, m_file) != size) return false;
  m_size += static_cast<int64_t>(size);
  return true;
}

bool PartialFile::Commit() {
  if (!m_file) return false;
  bool ok = std::fflush(m_file) == 0;
  ok = std::fclose(m_file) == 0 && ok;
  m_file = nullptr;
  if (ok && std::rename(m_temp.c_str(), m_target.c_str()) == 0) return true;
  ::unlink(m_temp.c_str());
  return false;
}

void PartialFile::Discard() {
  if (!m_file) return;
  std::fclose(m_file);
  m_file = nullptr;
  ::unlink(m_temp.c_str());
}
