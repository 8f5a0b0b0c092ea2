#pragma once
// Process-wide asynchronous line log. Any thread may write; the call only queues the line
// for the one writer thread, which appends it to Log/<month>/<day>.log under the program
// directory as GBK bytes. The file is created 0600 in 0700 folders, and the values of
// query parameters and fields named ckey, cookiekey or password are masked in every line.
#include <string>
#include <string_view>

class CThreadLog {
 public:
  virtual ~CThreadLog();

  // The singleton; the first call starts the writer thread.
  static CThreadLog* Instance();

  // Queues a UTF-8 line stamped with the current local time. 0 when queued, -1 when the
  // entry could not be built.
  int Write(const std::string& message);

  // Blocks until every line queued before the call has been written (tests, shutdown).
  void Flush();

  // The message with every value of a query parameter or field named ckey, cookiekey or
  // password (any case; "name=v", "name: v", "\"name\":\"v\"", "<name>v</name>") as "***".
  static std::string MaskSecrets(std::string_view message);
  // "Level2:    <time>    <message>    \r\n" for the given local time stamp (exposed for tests).
  static std::string FormatLine(int level, const std::string& timeText, const std::string& message);
  // "%d-%d-%d %02d:%02d:%02d" of a local time.
  static std::string FormatTime(long long unixSeconds);
  // Relative log file name "\Log\<month>\<day>.log" for a local time.
  static std::string FileNameFor(long long unixSeconds);

 private:
  CThreadLog();
};
