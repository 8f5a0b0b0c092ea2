#include "client/base/CThreadLog.h"

#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <mutex>
#include <string_view>
#include <thread>

#include "platform/Encoding.h"
#include "platform/ProgramDir.h"

namespace {

constexpr int kLevel = 2;

// One queued line: a single allocation holding the link, the call time and the text.
struct Entry {
  Entry* next;
  std::time_t time;
  std::size_t size;
  char message[1];
};

Entry* NewEntry(const std::string& message) {
  auto* e = static_cast<Entry*>(std::malloc(offsetof(Entry, message) + message.size() + 1));
  if (!e) return nullptr;
  e->next = nullptr;
  e->time = std::time(nullptr);
  e->size = message.size();
  std::memcpy(e->message, message.data(), message.size());
  e->message[message.size()] = '\0';
  return e;
}

// The queue between the callers and the one writer thread. Created on first use and never
// destroyed: lines may be logged until the process ends.
struct LogQueue {
  std::mutex mutex;
  std::condition_variable wakeWriter;
  std::condition_variable written;
  Entry* head = nullptr;
  Entry* tail = nullptr;
  bool writerSleeping = false;
  std::uint64_t queuedCount = 0;
  std::uint64_t writtenCount = 0;

  void Push(Entry* e) {
    bool wake;
    {
      std::lock_guard lock(mutex);
      if (tail)
        tail->next = e;
      else
        head = e;
      tail = e;
      ++queuedCount;
      wake = writerSleeping;
    }
    // Only a sleeping writer needs the wake-up; a busy one finds the line on its next round.
    if (wake) wakeWriter.notify_one();
  }

  void Run() {
    for (;;) {
      Entry* batch;
      {
        std::unique_lock lock(mutex);
        writerSleeping = true;
        wakeWriter.wait(lock, [this] { return head != nullptr; });
        writerSleeping = false;
        batch = head;
        head = tail = nullptr;
      }
      std::uint64_t count = 0;
      while (batch) {
        Entry* next = batch->next;
        WriteEntry(*batch);
        std::free(batch);
        batch = next;
        ++count;
      }
      {
        std::lock_guard lock(mutex);
        writtenCount += count;
      }
      written.notify_all();
    }
  }

  // Appends one line to the file of the writer's current day. Failures lose the line.
  static void WriteEntry(const Entry& e) {
    std::string line = plat::Utf8ToGbk(CThreadLog::FormatLine(
        kLevel, CThreadLog::FormatTime(e.time), std::string(e.message, e.size)));
    std::string path = plat::JoinProgramPath(CThreadLog::FileNameFor(std::time(nullptr)));
    // Opened per line and its folder made whenever it is missing, so the log can be removed
    // at any time. (Trying the file first spares the folder calls on every line.)
    std::FILE* f = std::fopen(path.c_str(), "ab");
    if (!f && plat::MakeParentDirectories(path)) f = std::fopen(path.c_str(), "ab");
    if (!f) return;
    std::fwrite(line.data(), 1, line.size(), f);
    std::fclose(f);
  }

  void Flush() {
    std::unique_lock lock(mutex);
    std::uint64_t target = queuedCount;
    written.wait(lock, [&] { return writtenCount >= target; });
  }
};

LogQueue& Queue() {
  static LogQueue* queue = new LogQueue;
  return *queue;
}

bool LocalTime(long long unixSeconds, std::tm& tm) {
  std::time_t t = static_cast<std::time_t>(unixSeconds);
  return localtime_r(&t, &tm) != nullptr;
}

}  // namespace

CThreadLog::CThreadLog() {
  std::thread([] { Queue().Run(); }).detach();
}

CThreadLog::~CThreadLog() = default;

CThreadLog* CThreadLog::Instance() {
  // The queue exists before the writer starts, so nothing written early can be lost.
  static CThreadLog* instance = new CThreadLog;
  return instance;
}

int CThreadLog::Write(const std::string& message) {
  Entry* e = NewEntry(message);
  if (!e) return -1;
  Queue().Push(e);
  return 0;
}

void CThreadLog::Flush() { Queue().Flush(); }

std::string CThreadLog::FormatLine(int level, const std::string& timeText,
                                   const std::string& message) {
  std::string line = "Level" + std::to_string(level) + ":    ";
  line.reserve(line.size() + timeText.size() + message.size() + 10);
  line += timeText;
  line += "    ";
  line += message;
  line += "    \r\n";
  return line;
}

std::string CThreadLog::FormatTime(long long unixSeconds) {
  std::tm tm{};
  int year = 0, month = 0, day = 0, hour = -1, minute = -1, second = -1;
  if (LocalTime(unixSeconds, tm)) {
    year = tm.tm_year + 1900;
    month = tm.tm_mon + 1;
    day = tm.tm_mday;
    hour = tm.tm_hour;
    minute = tm.tm_min;
    second = tm.tm_sec;
  }
  char text[96];
  std::snprintf(text, sizeof text, "%d-%d-%d %02d:%02d:%02d", year, month, day, hour, minute,
                second);
  return text;
}

std::string CThreadLog::FileNameFor(long long unixSeconds) {
  std::tm tm{};
  int month = 0, day = 0;
  if (LocalTime(unixSeconds, tm)) {
    month = tm.tm_mon + 1;
    day = tm.tm_mday;
  }
  char text[64];
  std::snprintf(text, sizeof text, "\\Log\\%d\\%d.log", month, day);
  return text;
}
