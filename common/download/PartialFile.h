#pragma once
// The temporary file a download is written to, beside its target (target + ".part").
// Commit renames it onto the target; anything else removes it, so the target never holds
// a partial file.
#include <cstdint>
#include <string>

#include "platform/Files.h"

class PartialFile final {
 public:
  explicit PartialFile(std::string target);
  ~PartialFile();
  PartialFile(const PartialFile&) = delete;
  PartialFile& operator=(const PartialFile&) = delete;

  // Creates the target's missing folders and an empty temporary file. False on failure, and
  // while another download is writing the same target.
  bool Open();
  bool IsOpen() const { return m_file.IsOpen(); }
  bool Write(const char* data, size_t size);
  int64_t Size() const { return m_size; }
  // Flushes, closes and renames onto the target. False (and nothing left behind) on failure.
  bool Commit();
  // Closes and removes the temporary file.
  void Discard();
  // Empties the open temporary file and writes from its start again (an answer that does
  // not continue where the file ends). False on failure.
  bool Rewind();

 private:
  std::string m_target;
  std::string m_temp;
  plat::ExclusiveFile m_file;
  int64_t m_size = 0;
};
