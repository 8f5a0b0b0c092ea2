// Plays a client start for the single-instance tests:
//
//   singleinstance_helper NAME PUBLISH_DELAY_MS EXIT_AFTER_ACTIVATIONS
//
// First instance: prints FIRST=1, publishes after the delay (a negative delay: never),
// prints PUBLISHED=1, prints ACTIVATED=<n> for every activation and exits 0 after the
// given number of them (0: runs until killed).
// Second instance: prints FIRST=0, waits for the first one as a client start does, prints FOUND=1
// or FOUND=0 and exits 0 or 3.
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>

#include "client/base/CSingleInstance.h"

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: singleinstance_helper NAME PUBLISH_DELAY_MS EXIT_AFTER\n");
    return 2;
  }
  const int delayMs = std::atoi(argv[2]);
  const int exitAfter = std::atoi(argv[3]);
  CSingleInstance guard(argv[1]);
  if (!guard.Check()) {
    std::printf("FIRST=0\n");
    std::fflush(stdout);
    bool found = guard.Find(CSingleInstance::kSecondStartWaitMs);
    std::printf("FOUND=%d\n", found ? 1 : 0);
    std::fflush(stdout);
    return found ? 0 : 3;
  }
  std::printf("FIRST=1\n");
  std::fflush(stdout);
  if (delayMs < 0) {
    for (;;) std::this_thread::sleep_for(std::chrono::seconds(1));
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(delayMs));
  std::atomic<int> activations{0};
  if (!guard.Publish([&] {
        std::printf("ACTIVATED=%d\n", ++activations);
        std::fflush(stdout);
      })) {
    std::printf("PUBLISHED=0\n");
    return 4;
  }
  std::printf("PUBLISHED=1\n");
  std::fflush(stdout);
  while (exitAfter == 0 || activations < exitAfter)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  guard.Close();
  return 0;
}
