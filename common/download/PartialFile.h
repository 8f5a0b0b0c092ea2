#pragma once
// The temporary file a download is written to, beside its target (target + ".part").
// Commit renames it onto the target; anything else removes it (or, with Keep, leaves it for
// a later download to continue), so the target never holds a partial file.
//
// A kept file has its validators beside it (target + ".part.info": the whole length, ETag
// and Last-Modified of the answer it came from), so that a later process can ask for the
// rest and tell whether the server's file is still the same.
#include <cstdint>
#include <string>

#include "platform/Files.h"

struct PartialValidators {
  int64_t total = 0;  // the whole file's length
  std::string etag;
  std::string lastModified;
};

class PartialFile final {
 public:
  explicit PartialFile(std::string target);
  ~PartialFile();
  PartialFile(const PartialFile&) = delete;
  PartialFile& operator=(const PartialFile&) = delete;

  // Creates the target's missing folders and an empty temporary file. False on failure, and
  // while another download is writing the same target.
  bool Open();
  // Takes the temporary file a download that ended early left, with its validators, and
  // writes on after its end. False (nothing opened) when there is none to continue, when
  // its validators are missing or do not fit it, or while another download holds it.
  bool Continue(PartialValidators& validators);
  // Whether the last Open or Continue failed because another download holds the file.
  bool Busy() const { return m_busy; }
  // Whether another download holds the temporary file now (no file: nobody).
  bool HeldElsewhere() const;
  bool IsOpen() const { return m_file.IsOpen(); }
  // Records the validators of the answer being written (a kept file can be continued).
  bool SaveValidators(const PartialValidators& validators);
  bool Write(const char* data, size_t size);
  int64_t Size() const { return m_size; }
  // Flushes, closes and renames onto the target. False (and nothing left behind) on failure.
  bool Commit();
  // Closes and removes the temporary file.
  void Discard();
  // Closes the temporary file and leaves it, with its validators, for a later download.
  void Keep();
  // Empties the open temporary file and writes from its start again (an answer that does
  // not continue where the file ends). False on failure.
  bool Rewind();

 private:
  std::string m_target;
  std::string m_temp;
  std::string m_info;
  plat::ExclusiveFile m_file;
  int64_t m_size = 0;
  bool m_busy = false;

  void RemoveInfo();
};
