#include "common/download/PartialFile.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <system_error>

#include "common/download/DownloadWorker.h"
#include "platform/Files.h"
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

bool PartialFile::Open() {
  Discard();
  if (m_target.empty() || !plat::MakeParentDirectories(m_target)) return false;
  // Another download may be writing the same target at this moment (a different URL for the
  // same file, or another process): its temporary file is held, and writing into it would
  // corrupt both, so only a file nobody holds is taken.
  m_busy = false;
  if (!m_file.Open(m_temp) || !m_file.Truncate()) {
    m_busy = m_file.Busy();
    m_file.Close();
    return false;
  }
  m_size = 0;
  RemoveInfo();
  return true;
}

bool PartialFile::Continue(PartialValidators& validators) {
  Discard();
  m_busy = false;
  if (m_target.empty()) return false;
  PartialValidators v;
  {
    std::ifstream in(plat::FsPath(m_info), std::ios::binary);
    if (!in) return false;
    std::string line;
    while (std::getline(in, line)) {
      if (!line.empty() && line.back() == '\r') line.pop_back();
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
  }
  if (v.total <= 0 || (v.etag.empty() && v.lastModified.empty())) return false;
  if (!m_file.Open(m_temp, false)) {
    m_busy = m_file.Busy();
    return false;
  }
  const int64_t end = m_file.Size();
  if (end <= 0 || end >= v.total) {
    // Nothing to continue, or more than the whole: not the file the validators describe.
    m_file.Close();
    return false;
  }
  m_size = end;
  validators = v;
  return true;
}

bool PartialFile::HeldElsewhere() const {
  return !m_file.IsOpen() && plat::ExclusiveFile::HeldElsewhere(m_temp);
}

bool PartialFile::SaveValidators(const PartialValidators& validators) {
  if (!m_file.IsOpen() || !OneLine(validators.etag) || !OneLine(validators.lastModified))
    return false;
  std::ostringstream text;
  text << "size=" << validators.total << "\netag=" << validators.etag
       << "\nlast-modified=" << validators.lastModified << "\n";
  // Written whole under a name of its own and renamed: a reader never sees half of it.
  const std::string temp = m_info + ".new";
  {
    std::ofstream out(plat::FsPath(temp), std::ios::binary | std::ios::trunc);
    out << text.str();
    if (!out.flush()) return false;
  }
  std::error_code ec;
  std::filesystem::rename(plat::FsPath(temp), plat::FsPath(m_info), ec);
  return !ec;
}

bool PartialFile::Write(const char* data, size_t size) {
  // Written as it arrives, unbuffered: the network chunks are large enough.
  if (!m_file.Write(data, size)) return false;
  m_size = m_file.Size();
  return true;
}

bool PartialFile::Commit() {
  if (!m_file.IsOpen()) return false;
  // Renamed while still held, so no other download takes the file between.
  RemoveInfo();
  return m_file.CommitTo(m_target);
}

void PartialFile::Discard() {
  if (!m_file.IsOpen()) return;
  RemoveInfo();
  m_file.Remove();
}

void PartialFile::Keep() { m_file.Close(); }

bool PartialFile::Rewind() {
  if (!m_file.IsOpen()) return false;
  RemoveInfo();
  if (!m_file.Truncate()) return false;
  m_size = 0;
  return true;
}

void PartialFile::RemoveInfo() {
  std::error_code ec;
  std::filesystem::remove(plat::FsPath(m_info), ec);
}
