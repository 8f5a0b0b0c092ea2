#pragma once
// Windows thread priority values mapped onto Linux scheduling of the calling thread.
namespace plat {

constexpr int kThreadPriorityIdle = -15;
constexpr int kThreadPriorityLowest = -2;
constexpr int kThreadPriorityBelowNormal = -1;
constexpr int kThreadPriorityNormal = 0;
constexpr int kThreadPriorityAboveNormal = 1;
constexpr int kThreadPriorityHighest = 2;

// Idle -> SCHED_IDLE (the lowest Linux offers an unprivileged thread); below normal ->
// a higher nice value of the thread; normal and above -> SCHED_OTHER with nice 0
// (raising priority needs privileges and is skipped). True when applied.
bool SetCurrentThreadPriority(int windowsPriority);

}  // namespace plat
