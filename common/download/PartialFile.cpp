#include "common/download/PartialFile.h"

#include "common/download/DownloadWorker.h"
#include "platform/ProgramDir.h"

PartialFile::PartialFile(std::string target)
    : m_target(std::move(target)), m_temp(m_target + kPartialFileSuffix) {}

PartialFile::~PartialFile() { Discard(); }

bool PartialFile::Open() {
  Discard();
  if (m_target.empty() || !plat::MakeParentDirectories(m_target)) return false;
  // Another download may be writing the same target at this moment (a different URL for the
  // same file): its temporary file is held, and writing into it would corrupt both, so only a
  // file nobody holds is taken.
  if (!m_file.Open(m_temp) || !m_file.Truncate()) {
    m_file.Close();
    return false;
  }
  m_size = 0;
  return true;
}

bool PartialFile::Write(const char* data, size_t size) {
  // Written as it arrives, unbuffered: the network chunks are large enough.
  if (!m_file.Write(data, size)) return false;
  m_size = m_file.Size();
  return true;
}

bool PartialFile::Commit() {
  // Renamed while still held, so no other download takes the file between.
  return m_file.IsOpen() && m_file.CommitTo(m_target);
}

void PartialFile::Discard() { m_file.Remove(); }

bool PartialFile::Rewind() {
  if (!m_file.Truncate()) return false;
  m_size = 0;
  return true;
}
