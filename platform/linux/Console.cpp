#include "platform/Console.h"

#include <pthread.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <ctime>

namespace plat {

// A broken pipe must not kill the caller (the updater in the middle of an update), so
// SIGPIPE is held back for the write and a signal it raised is discarded. The handler is
// left alone, so the programs the caller starts get the usual one.
bool WriteStandardOutput(std::string_view text) {
  sigset_t pipeSignal, previous, pending;
  sigemptyset(&pipeSignal);
  sigaddset(&pipeSignal, SIGPIPE);
  pthread_sigmask(SIG_BLOCK, &pipeSignal, &previous);
  sigpending(&pending);
  const bool pendingBefore = sigismember(&pending, SIGPIPE) == 1;
  bool broken = false;
  bool done = true;
  for (std::size_t at = 0; at < text.size();) {
    ssize_t n = write(STDOUT_FILENO, text.data() + at, text.size() - at);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      broken = n < 0 && errno == EPIPE;
      done = false;
      break;
    }
    at += static_cast<std::size_t>(n);
  }
  if (broken && !pendingBefore) {
    const timespec none{};
    while (sigtimedwait(&pipeSignal, nullptr, &none) < 0 && errno == EINTR) {
    }
  }
  pthread_sigmask(SIG_SETMASK, &previous, nullptr);
  return done;
}

}  // namespace plat
