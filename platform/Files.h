#pragma once
// File operations whose system calls differ between the systems: owner-only files, files
// that must not exist yet, and a file one process at a time writes to.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>

namespace plat {

// The calling process's id.
int CurrentProcessId();

// Writes the whole content to the file, replacing what it held; the file is readable by its
// owner only (a file left wider by an older release is narrowed). False on failure.
bool WritePrivateFile(const std::string& nativePath, std::string_view content);

// A path in UTF-8 as the standard library's path type (UTF-16 on Windows, where a narrow
// path would go through the ANSI code page and lose every other character).
std::filesystem::path FsPath(const std::string& nativePath);

// std::fopen of a path in UTF-8.
std::FILE* OpenFile(const std::string& nativePath, const char* mode);

// Reads at most limit + 1 bytes of the file into text (a size over limit tells the file is
// larger). False when it cannot be opened.
bool ReadFileHead(const std::string& nativePath, std::size_t limit, std::string& text);

// A file that must not exist yet, created and opened for binary writing; nullptr on failure
// and when the name is taken.
std::FILE* CreateNewFile(const std::string& nativePath);

// A file written by one holder at a time: while one process has it open, an Open of the same
// file by anybody fails. Closed (and kept) on destruction.
class ExclusiveFile {
 public:
  ExclusiveFile();
  ~ExclusiveFile();
  ExclusiveFile(const ExclusiveFile&) = delete;
  ExclusiveFile& operator=(const ExclusiveFile&) = delete;

  // Opens the file for writing at its end, creating it when missing (only an existing one
  // when create is false). False when it cannot be opened or someone else holds it.
  bool Open(const std::string& nativePath, bool create = true);
  // Whether the last Open failed because someone else holds the file.
  bool Busy() const;
  // Whether someone holds the file now (no file: nobody).
  static bool HeldElsewhere(const std::string& nativePath);
  bool IsOpen() const;
  // Bytes in the file.
  std::int64_t Size() const;
  bool Write(const char* data, std::size_t size);
  // Empties the file; writing starts again at its beginning.
  bool Truncate();
  // Renames the file onto target (replacing it) while still holding it, so nobody takes it
  // in between, then closes it. On failure the file is removed. False on failure.
  bool CommitTo(const std::string& targetPath);
  // Removes the file and closes it.
  void Remove();
  void Close();

 private:
  struct Impl;
  std::unique_ptr<Impl> m_impl;
};

}  // namespace plat
