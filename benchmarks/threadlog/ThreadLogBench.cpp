// Measures what CThreadLog costs the calling thread and how many lines per second its
// writer puts on disk, side by side with two synchronous ways of logging:
//   fprintf+fflush  one file kept open, each line formatted and flushed by the caller;
//   open/append/close  each line appended by the caller with the file opened per line
//                      (the same disk work the writer thread does, but on the caller).
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "client/base/CThreadLog.h"
#include "platform/ProgramDir.h"

namespace {

using Clock = std::chrono::steady_clock;

const char kMessage[] =
    "App start: id=1024 name=记账软件 path=/opt/orvanta/LumoDownloads/setup.sh 100%";

struct Figures {
  double medianNs = 0;
  double p99Ns = 0;
  double linesPerSecond = 0;
};

// Times every call of `write` separately (rounds of `perRound` calls, `settle` run between
// rounds outside the timing), then the whole run including `settle` for the throughput.
Figures Measure(int lines, int perRound, const std::function<void(const std::string&)>& write,
                const std::function<void()>& settle) {
  std::vector<double> ns;
  ns.reserve(static_cast<size_t>(lines));
  const std::string message = kMessage;
  auto begin = Clock::now();
  for (int done = 0; done < lines;) {
    for (int i = 0; i < perRound && done < lines; ++i, ++done) {
      auto t0 = Clock::now();
      write(message);
      auto t1 = Clock::now();
      ns.push_back(std::chrono::duration<double, std::nano>(t1 - t0).count());
    }
    settle();
  }
  double seconds = std::chrono::duration<double>(Clock::now() - begin).count();
  std::sort(ns.begin(), ns.end());
  Figures f;
  f.medianNs = ns[ns.size() / 2];
  f.p99Ns = ns[ns.size() * 99 / 100];
  f.linesPerSecond = lines / seconds;
  return f;
}

std::string TimeText() { return CThreadLog::FormatTime(std::time(nullptr)); }

void Print(const char* name, const Figures& f) {
  std::printf("%-32s %14.0f %14.0f %16.0f\n", name, f.medianNs, f.p99Ns, f.linesPerSecond);
}

}  // namespace

int main(int argc, char** argv) {
  int lines = argc > 1 ? std::max(100, std::atoi(argv[1])) : 20000;
  char tmpl[] = "/tmp/threadlog-bench-XXXXXX";
  if (!mkdtemp(tmpl)) return 1;
  std::string dir = tmpl;
  plat::SetProgramDirectory(dir);

  // Start the writer before timing, as the client does at start-up.
  CThreadLog* log = CThreadLog::Instance();
  log->Write("bench start");
  log->Flush();

  Figures threadLog = Measure(
      lines, 1000, [&](const std::string& m) { log->Write(m); }, [&] { log->Flush(); });

  std::string openPath = dir + "/fprintf.log";
  std::FILE* open = std::fopen(openPath.c_str(), "ab");
  Figures fprintfFlush = Measure(
      lines, 1000,
      [&](const std::string& m) {
        std::fprintf(open, "Level%d:    %s    %s    \r\n", 2, TimeText().c_str(), m.c_str());
        std::fflush(open);
      },
      [] {});
  std::fclose(open);

  std::string appendPath = dir + "/append.log";
  Figures appendClose = Measure(
      lines, 1000,
      [&](const std::string& m) {
        std::string line = CThreadLog::FormatLine(2, TimeText(), m);
        std::FILE* f = std::fopen(appendPath.c_str(), "ab");
        if (!f) return;
        std::fwrite(line.data(), 1, line.size(), f);
        std::fclose(f);
      },
      [] {});

  std::printf("thread log, %d lines, message of %zu bytes (caller's cost per call; throughput)\n",
              lines, sizeof kMessage - 1);
  std::printf("%-32s %14s %14s %16s\n", "", "median ns", "p99 ns", "lines/s on disk");
  Print("CThreadLog::Write (+writer)", threadLog);
  Print("reference: fprintf+fflush", fprintfFlush);
  Print("reference: open/append/close", appendClose);
  std::printf("target: median caller cost under 2000 ns -> %s\n",
              threadLog.medianNs < 2000 ? "met" : "NOT met");

  std::error_code ec;
  std::filesystem::remove_all(dir, ec);
  return 0;
}
