#include <sys/stat.h>

#include <gtest/gtest.h>

#include <ctime>
#include <map>
#include <sstream>
#include <thread>
#include <vector>

#include "client/base/CThreadLog.h"
#include "platform/ProgramDir.h"
#include "tests/support/TestSupport.h"

namespace {

long long LocalSeconds(int year, int month, int day, int hour, int minute, int second) {
  std::tm tm{};
  tm.tm_year = year - 1900;
  tm.tm_mon = month - 1;
  tm.tm_mday = day;
  tm.tm_hour = hour;
  tm.tm_min = minute;
  tm.tm_sec = second;
  tm.tm_isdst = -1;
  return static_cast<long long>(std::mktime(&tm));
}

// Content of today's log file; lines written across midnight may sit in either file.
std::string TodaysLog(const std::string& programDir, long long since) {
  std::string content;
  std::string a = CThreadLog::FileNameFor(since);
  std::string b = CThreadLog::FileNameFor(std::time(nullptr));
  content = orvtest::ReadFile(plat::ToNativePath(programDir + a));
  if (b != a) content += orvtest::ReadFile(plat::ToNativePath(programDir + b));
  return content;
}

std::vector<std::string> SplitCrLf(const std::string& text) {
  std::vector<std::string> lines;
  std::size_t pos = 0, end;
  while ((end = text.find("\r\n", pos)) != std::string::npos) {
    lines.push_back(text.substr(pos, end - pos));
    pos = end + 2;
  }
  EXPECT_EQ(pos, text.size()) << "text after the last line end";
  return lines;
}

TEST(ThreadLogFormat, LineTimeAndFileName) {
  long long t = LocalSeconds(2026, 3, 5, 7, 8, 9);
  EXPECT_EQ(CThreadLog::FormatTime(t), "2026-3-5 07:08:09");
  EXPECT_EQ(CThreadLog::FileNameFor(t), "\\Log\\3\\5.log");
  EXPECT_EQ(CThreadLog::FormatTime(LocalSeconds(2026, 12, 31, 23, 59, 59)), "2026-12-31 23:59:59");
  EXPECT_EQ(CThreadLog::FileNameFor(LocalSeconds(2026, 12, 31, 23, 59, 59)), "\\Log\\12\\31.log");
  EXPECT_EQ(CThreadLog::FormatLine(2, "2026-3-5 07:08:09", "start 100% %s"),
            "Level2:    2026-3-5 07:08:09    start 100% %s    \r\n");
}

TEST(ThreadLogFormat, MidnightSplitsFilesAndTheYearIsNotPartOfTheName) {
  EXPECT_NE(CThreadLog::FileNameFor(LocalSeconds(2026, 1, 31, 23, 59, 59)),
            CThreadLog::FileNameFor(LocalSeconds(2026, 2, 1, 0, 0, 0)));
  EXPECT_EQ(CThreadLog::FileNameFor(LocalSeconds(2026, 2, 1, 0, 0, 0)), "\\Log\\2\\1.log");
  EXPECT_EQ(CThreadLog::FileNameFor(LocalSeconds(2025, 2, 1, 12, 0, 0)),
            CThreadLog::FileNameFor(LocalSeconds(2026, 2, 1, 12, 0, 0)));
}

// Each test runs in a fresh process (tests are discovered one by one), so this is the
// process's first line: it must reach the file without any flush.
TEST(ThreadLogWriter, FirstLineReachesTheFile) {
  orvtest::TempProgramDir dir;
  long long start = std::time(nullptr);
  EXPECT_EQ(CThreadLog::Instance()->Write("first line"), 0);
  EXPECT_TRUE(orvtest::WaitUntil(
      [&] { return TodaysLog(dir.Path(), start).find("first line") != std::string::npos; }));
}

TEST(ThreadLogWriter, WritesGbkLinesWithPercentSignsUnchanged) {
  orvtest::TempProgramDir dir;
  long long start = std::time(nullptr);
  CThreadLog* log = CThreadLog::Instance();
  ASSERT_EQ(log->Write("安装 100% 完成 %s %d %n"), 0);
  ASSERT_EQ(log->Write(""), 0);
  log->Flush();
  long long end = std::time(nullptr);

  std::vector<std::string> lines = SplitCrLf(TodaysLog(dir.Path(), start));
  ASSERT_EQ(lines.size(), 2u);
  // "安装" and "完成" in GBK, between the fixed separators.
  const std::string gbkMessage = "\xB0\xB2\xD7\xB0 100% \xCD\xEA\xB3\xC9 %s %d %n";
  const std::string first = lines[0];
  ASSERT_EQ(first.rfind("Level2:    ", 0), 0u) << first;
  ASSERT_GE(first.size(), gbkMessage.size() + 4);
  EXPECT_EQ(first.substr(first.size() - gbkMessage.size() - 4), gbkMessage + "    ");
  std::string timeText = first.substr(11, first.size() - 11 - gbkMessage.size() - 8);
  EXPECT_TRUE(timeText == CThreadLog::FormatTime(start) || timeText == CThreadLog::FormatTime(end))
      << timeText;
  EXPECT_EQ(first.substr(11 + timeText.size(), 4), "    ");
  EXPECT_EQ(lines[1], "Level2:    " + lines[1].substr(11, timeText.size()) + "        ");
}

TEST(ThreadLogWriter, KeepsEachThreadsOrderAndNeverInterleavesLines) {
  orvtest::TempProgramDir dir;
  long long start = std::time(nullptr);
  constexpr int kThreads = 4;
  constexpr int kLines = 250;
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([t] {
      for (int i = 0; i < kLines; ++i)
        CThreadLog::Instance()->Write("thread " + std::to_string(t) + " line " + std::to_string(i));
    });
  }
  for (auto& th : threads) th.join();
  CThreadLog::Instance()->Flush();

  std::map<int, int> next;
  int total = 0;
  for (const auto& line : SplitCrLf(TodaysLog(dir.Path(), start))) {
    auto pos = line.find("thread ");
    ASSERT_NE(pos, std::string::npos) << line;
    std::istringstream in(line.substr(pos));
    std::string word1, word2;
    int t = -1, i = -1;
    in >> word1 >> t >> word2 >> i;
    ASSERT_EQ(word2, "line") << line;
    EXPECT_EQ(i, next[t]) << line;
    next[t] = i + 1;
    ++total;
  }
  EXPECT_EQ(total, kThreads * kLines);
}

TEST(ThreadLogWriter, RecreatesTheFolderWhenTheLogWasRemoved) {
  orvtest::TempProgramDir dir;
  long long start = std::time(nullptr);
  CThreadLog::Instance()->Write("before");
  CThreadLog::Instance()->Flush();
  ASSERT_EQ(orvtest::RunCommand({"rm", "-rf", dir.Path() + "/Log"}), 0);
  CThreadLog::Instance()->Write("after");
  CThreadLog::Instance()->Flush();
  std::string log = TodaysLog(dir.Path(), start);
  EXPECT_EQ(log.find("before"), std::string::npos);
  EXPECT_NE(log.find("after"), std::string::npos);
}

TEST(ThreadLogSecrets, KeysAndPasswordsAreMaskedInEveryForm) {
  struct Case {
    const char* message;
    const char* logged;
  };
  const Case cases[] = {
      {"http://h/a.do?userid=7&ckey=0123abcd&x=1 failed",
       "http://h/a.do?userid=7&ckey=***&x=1 failed"},
      {"http://h/index.html?page=share.html?cookiekey=K%20Y&appid=5",
       "http://h/index.html?page=share.html?cookiekey=***&appid=5"},
      {"POST body password=pw;next", "POST body password=***;next"},
      {"CKEY=abc", "CKEY=***"},
      {R"({"ckey":"a\"b","user":"demo"})", R"({"ckey":"***","user":"demo"})"},
      {"<password>密码</password><user>demo</user>", "<password>***</password><user>demo</user>"},
      {"Password: secret", "Password: ***"},
      // JSON in a query, percent-encoded.
      {"addapp.php?in=%7B%22appid%22%3A5%2C%22ckey%22%3A%22K42%22%7D",
       "addapp.php?in=%7B%22appid%22%3A5%2C%22ckey%22%3A%22***%22%7D"},
      {"x?in=%7b%22password%22%3a123%2c%22a%22%3a1%7d",
       "x?in=%7b%22password%22%3a***%2c%22a%22%3a1%7d"},
      {"ckey=", "ckey="},
      // Other words are left alone: a longer name, a name without a value.
      {"ckeys=1 myckey=2 password reset", "ckeys=1 myckey=2 password reset"},
  };
  for (const Case& c : cases) EXPECT_EQ(CThreadLog::MaskSecrets(c.message), c.logged) << c.message;
}

TEST(ThreadLogWriter, WritesMaskedLinesIntoOwnerOnlyFilesAndFolders) {
  orvtest::TempProgramDir dir;
  const long long start = std::time(nullptr);
  // A folder left by an older release, readable by everyone, is made owner-only.
  ASSERT_TRUE(plat::MakeDirectories(dir.Path() + "/Log"));
#ifndef _WIN32
  ASSERT_EQ(chmod((dir.Path() + "/Log").c_str(), 0755), 0);
#endif
  CThreadLog::Instance()->Write("request http://h/x?ckey=SECRETKEY failed");
  CThreadLog::Instance()->Flush();
  const std::string log = TodaysLog(dir.Path(), start);
  EXPECT_EQ(log.find("SECRETKEY"), std::string::npos) << log;
  EXPECT_NE(log.find("ckey=***"), std::string::npos) << log;
#ifndef _WIN32  // on Windows the folder's access list decides, not permission bits

  const std::string file = plat::ToNativePath(dir.Path() + CThreadLog::FileNameFor(start));
  for (const auto& [path, mode] : std::initializer_list<std::pair<std::string, unsigned>>{
           {file, 0600}, {file.substr(0, file.rfind('/')), 0700}, {dir.Path() + "/Log", 0700}}) {
    struct stat st {};
    ASSERT_EQ(stat(path.c_str(), &st), 0) << path;
    EXPECT_EQ(st.st_mode & 0777, mode) << path;
  }
#endif
}

}  // namespace
