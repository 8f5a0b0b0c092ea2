#pragma once
// The list of every file under the program directory with its size, as an INI text:
// one section per folder, one "name=size" key per file. The diagnosis compares it with
// the list the server publishes for the release.
//
// Entries are visited in sorted (byte-wise) order and folders are named relative to the
// program directory ("\" for the program directory itself, "\image\SystemDiagnose" below
// it), so the list of one installation equals the list of any copy of it.
#include <string>

class CCompletenessList {
 public:
  // Relative name of the local list.
  static constexpr const char* kFileName = "\\temp\\localCompletenessFile.ini";

  // Rebuilds the local list from the folder tree under programDir: creates "temp",
  // deletes the old list, walks the tree depth first and writes the new list (GBK).
  // The walk sees the list file itself as far as it has been written when the walk
  // reaches it. Returns the file's text as written ("" when it could not be written).
  static std::string Rebuild(const std::string& programDir);

  // 0 when the two texts are equal once every line feed and carriage return is removed;
  // -2 otherwise.
  static int Compare(const std::string& local, const std::string& server);
};
