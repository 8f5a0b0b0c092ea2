#include "client/base/CThreadLog.h"

#include <algorithm>
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
#include "platform/PrivateFiles.h"
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

  // The file last written; its folders and itself were made owner-only then (writer thread).
  std::string lastPath;

  // Appends one line to the file of the writer's current day. Failures lose the line.
  void WriteEntry(const Entry& e) {
    // Masked here, in the one writer, so that no caller can forget it.
    std::string line = plat::Utf8ToGbk(
        CThreadLog::FormatLine(kLevel, CThreadLog::FormatTime(e.time),
                               CThreadLog::MaskSecrets(std::string_view(e.message, e.size))));
    const std::string relative = CThreadLog::FileNameFor(std::time(nullptr));
    std::string path = plat::JoinProgramPath(relative);
    // Opened per line, created 0600 with its folders 0700 whenever missing, so the log can be
    // removed at any time.
    if (!plat::AppendToPrivateFile(path, line)) return;
    if (path != lastPath) {
      // A log left by an older release may be readable by others: made owner-only once per
      // file.
      lastPath = path;
      plat::RestrictToOwner(path);
      plat::RestrictToOwner(path.substr(0, path.rfind('/')));
      plat::RestrictToOwner(plat::JoinProgramPath("\\Log"));
    }
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

namespace {

constexpr std::string_view kSecretNames[] = {"ckey", "cookiekey", "password"};
constexpr std::string_view kMask = "***";

bool IsNameChar(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
}

char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

// The length of the secret name starting at text[i] (compared case-insensitively, a whole
// word); 0 when none starts there.
std::size_t SecretNameAt(std::string_view text, std::size_t i) {
  // A name begins a word; the character before it may be a percent-encoded one ("%22ckey").
  auto isHex = [](char c) {
    return (c >= '0' && c <= '9') || (Lower(c) >= 'a' && Lower(c) <= 'f');
  };
  const bool afterEncoded =
      i >= 3 && text[i - 3] == '%' && isHex(text[i - 2]) && isHex(text[i - 1]);
  if (i > 0 && IsNameChar(text[i - 1]) && !afterEncoded) return 0;
  for (std::string_view name : kSecretNames) {
    if (text.size() - i < name.size()) continue;
    bool same = true;
    for (std::size_t k = 0; k < name.size() && same; ++k) same = Lower(text[i + k]) == name[k];
    if (same && (i + name.size() == text.size() || !IsNameChar(text[i + name.size()])))
      return name.size();
  }
  return 0;
}

// A percent-encoded character at text[i] ("%3A" or "%3a" for ':').
bool EncodedAt(std::string_view text, std::size_t i, char c) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  const auto b = static_cast<unsigned char>(c);
  return i + 2 < text.size() && text[i] == '%' && text[i + 1] == kHex[b >> 4] &&
         Lower(text[i + 2]) == Lower(kHex[b & 15]);
}

// The length of a quote at text[i], plain or percent-encoded; 0 when none.
std::size_t QuoteAt(std::string_view text, std::size_t i) {
  if (i >= text.size()) return 0;
  if (text[i] == '"' || text[i] == '\'') return 1;
  return EncodedAt(text, i, '"') || EncodedAt(text, i, '\'') ? 3 : 0;
}

// The length of a value separator ('=' or ':') at text[i], plain or percent-encoded.
std::size_t SeparatorAt(std::string_view text, std::size_t i) {
  if (i >= text.size()) return 0;
  if (text[i] == '=' || text[i] == ':') return 1;
  return EncodedAt(text, i, '=') || EncodedAt(text, i, ':') ? 3 : 0;
}

}  // namespace

std::string CThreadLog::MaskSecrets(std::string_view message) {
  std::string out;
  out.reserve(message.size());
  std::size_t i = 0;
  while (i < message.size()) {
    const std::size_t nameLength = SecretNameAt(message, i);
    if (nameLength == 0) {
      out += message[i++];
      continue;
    }
    // The name, then its separator: "=" (query, INI), ":" (JSON) or ">" (an XML element's
    // opening tag), maybe after a closing quote and blanks; in a query the JSON may arrive
    // percent-encoded ("%22ckey%22%3A%22...%22").
    std::size_t j = i + nameLength;
    j += QuoteAt(message, j);
    while (j < message.size() && message[j] == ' ') ++j;
    const bool openingTag = i > 0 && message[i - 1] == '<';
    std::size_t separator = SeparatorAt(message, j);
    if (separator == 0 && openingTag && j < message.size() && message[j] == '>') separator = 1;
    if (separator == 0) {
      out.append(message.substr(i, j - i));
      i = j;
      continue;
    }
    const bool tag = message[j] == '>';
    const bool encoded = separator == 3;
    j += separator;
    while (!tag && j < message.size() && message[j] == ' ') ++j;
    out.append(message.substr(i, j - i));
    std::size_t end = j;
    if (const std::size_t quote = tag ? 0 : QuoteAt(message, j); quote != 0) {
      // A quoted value runs to the same quote (a JSON escape skips the next character).
      const std::string_view closing = message.substr(j, quote);
      out.append(closing);
      end = j + quote;
      while (end < message.size() && message.substr(end, quote) != closing)
        end += message[end] == '\\' && end + 1 < message.size() ? 2 : 1;
      out += kMask;
      i = std::min(end, message.size());
      continue;
    }
    const std::string_view stops = tag       ? "<\r\n"
                                   : encoded ? "&; \t\r\n,\"'<>}]#%"
                                             : "&; \t\r\n,\"'<>}]#";
    while (end < message.size() && stops.find(message[end]) == std::string_view::npos) ++end;
    if (end > j) out += kMask;
    i = end;
  }
  return out;
}

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
