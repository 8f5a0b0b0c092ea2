#include "platform/ThreadPriority.h"

#include <pthread.h>
#include <sched.h>
#include <sys/resource.h>
#include <unistd.h>

namespace plat {
namespace {

// Nice values of the calling thread for the Windows priorities below normal.
constexpr int kNiceLowest = 10;
constexpr int kNiceBelowNormal = 5;

bool SetPolicy(int policy) {
  sched_param param{};
  param.sched_priority = 0;
  return pthread_setschedparam(pthread_self(), policy, &param) == 0;
}

// On Linux the nice value belongs to the thread (its task id), not the whole process.
bool SetThreadNice(int nice) {
  return setpriority(PRIO_PROCESS, static_cast<id_t>(gettid()), nice) == 0;
}

}  // namespace

bool SetCurrentThreadPriority(int windowsPriority) {
  if (windowsPriority <= kThreadPriorityIdle) return SetPolicy(SCHED_IDLE);
  if (windowsPriority < kThreadPriorityNormal) {
    int nice = windowsPriority <= kThreadPriorityLowest ? kNiceLowest : kNiceBelowNormal;
    return SetPolicy(SCHED_OTHER) && SetThreadNice(nice);
  }
  // Normal and above: back to the default policy; a nice value below the current one
  // needs privileges, so a refusal there is not a failure.
  if (!SetPolicy(SCHED_OTHER)) return false;
  SetThreadNice(0);
  return true;
}

}  // namespace plat
