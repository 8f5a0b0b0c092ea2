// The local file list: its exact text, its independence of where the tree lies, and the
// comparison with the server's list.
#include "client/diagnosis/CompletenessList.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "platform/Encoding.h"
#include "support/TestSupport.h"

namespace fs = std::filesystem;

namespace {

const char* const kListFile = "temp/localCompletenessFile.ini";

void MakeTree(const orvtest::TempDir& dir) {
  orvtest::WriteFile(dir.File("b.txt"), "abc");
  orvtest::WriteFile(dir.File("a/x.bin"), "12345");
  orvtest::WriteFile(dir.File("中文.txt"), "zz");
  fs::create_directories(dir.File("empty"));
}

TEST(CompletenessList, TextListsSortedEntriesUnderRelativeFolderNames) {
  orvtest::TempDir dir;
  MakeTree(dir);
  // A stale list from an earlier run must not count: it is deleted first.
  orvtest::WriteFile(dir.File(kListFile), std::string(1000, 'x'));

  const std::string text = CCompletenessList::Rebuild(dir.Path());
  // Depth first in sorted order: "a" is walked before the files of the root; the list
  // itself is seen in "temp" with the 29 bytes written by then; empty folders add nothing.
  const std::string expected = plat::Utf8ToGbk(
      "[\\a]\r\nx.bin=5\r\n"
      "[\\]\r\nb.txt=3\r\n中文.txt=2\r\n"
      "[\\temp]\r\nlocalCompletenessFile.ini=29\r\n");
  EXPECT_EQ(text, expected);
  EXPECT_EQ(orvtest::ReadFile(dir.File(kListFile)), expected);
}

TEST(CompletenessList, TheLogFolderIsNotListed) {
  orvtest::TempDir logged, fresh;
  MakeTree(logged);
  MakeTree(fresh);
  orvtest::WriteFile(logged.File("Log/12/8.log"), "a line");
  EXPECT_EQ(CCompletenessList::Rebuild(logged.Path()), CCompletenessList::Rebuild(fresh.Path()));
}

TEST(CompletenessList, CopiesOfOneInstallationGiveTheSameList) {
  orvtest::TempDir first, second;
  MakeTree(first);
  MakeTree(second);
  orvtest::WriteFile(second.File("a/deeper/more/y.dat"), "y");
  orvtest::WriteFile(first.File("a/deeper/more/y.dat"), "y");
  const std::string a = CCompletenessList::Rebuild(first.Path());
  const std::string b = CCompletenessList::Rebuild(second.Path());
  ASSERT_FALSE(a.empty());
  EXPECT_EQ(a, b);
  EXPECT_NE(a.find("[\\a\\deeper\\more]"), std::string::npos);
  // A second run over the same tree (now holding the list) gives the same list again.
  EXPECT_EQ(CCompletenessList::Rebuild(first.Path()), a);
}

TEST(CompletenessList, SizesAreTheLow32BitsSigned) {
  orvtest::TempDir dir;
  std::error_code ec;
  {
    orvtest::WriteFile(dir.File("big.img"), "");
    fs::resize_file(dir.File("big.img"), 3000000000ULL, ec);  // sparse
  }
  if (ec) GTEST_SKIP() << "no sparse files here: " << ec.message();
  const std::string text = CCompletenessList::Rebuild(dir.Path());
  EXPECT_NE(text.find("big.img=-1294967296\r\n"), std::string::npos) << text;
}

TEST(CompletenessList, LinkedFoldersAreNotFollowed) {
  orvtest::TempDir dir;
  orvtest::WriteFile(dir.File("sub/f.txt"), "f");
  fs::create_directory_symlink(dir.Path(), dir.File("sub/loop"));
  fs::create_symlink(dir.File("sub/f.txt"), dir.File("link.txt"));
  const std::string text = CCompletenessList::Rebuild(dir.Path());
  EXPECT_EQ(text.find("loop"), std::string::npos);
  EXPECT_NE(text.find("link.txt=1\r\n"), std::string::npos);  // a linked file counts as its target
}

TEST(CompletenessList, ComparisonIgnoresLineEndsOnly) {
  const std::string local = "[\\]\r\na=1\r\nb=2\r\n";
  EXPECT_EQ(CCompletenessList::Compare(local, local), 0);
  EXPECT_EQ(CCompletenessList::Compare(local, "[\\]\na=1\nb=2\n"), 0);
  EXPECT_EQ(CCompletenessList::Compare(local, "[\\]a=1b=2"), 0);
  EXPECT_EQ(CCompletenessList::Compare(local, "[\\]\r\na=1\r\nb=3\r\n"), -2);
  EXPECT_EQ(CCompletenessList::Compare(local, "[\\]\r\na = 1\r\nb=2\r\n"), -2);
  EXPECT_EQ(CCompletenessList::Compare(local, ""), -2);
  EXPECT_EQ(CCompletenessList::Compare("", "\r\n"), 0);
}

}  // namespace
