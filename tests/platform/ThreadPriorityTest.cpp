#include <pthread.h>
#include <sched.h>
#include <sys/resource.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <thread>

#include "platform/ThreadPriority.h"

namespace {

int CurrentPolicy() {
  int policy = -1;
  sched_param param{};
  pthread_getschedparam(pthread_self(), &policy, &param);
  return policy;
}

int CurrentNice() { return getpriority(PRIO_PROCESS, static_cast<id_t>(gettid())); }

// Each case runs on a fresh thread: lowering priority cannot be undone without privileges.
TEST(ThreadPriority, IdleUsesSchedIdleForTheCallingThreadOnly) {
  int mainPolicy = CurrentPolicy();
  int policy = -1;
  bool applied = false;
  std::thread([&] {
    applied = plat::SetCurrentThreadPriority(plat::kThreadPriorityIdle);
    policy = CurrentPolicy();
  }).join();
  EXPECT_TRUE(applied);
  EXPECT_EQ(policy, SCHED_IDLE);
  EXPECT_EQ(CurrentPolicy(), mainPolicy);
}

TEST(ThreadPriority, BelowNormalRaisesTheNiceValueOfTheThreadOnly) {
  int mainNice = CurrentNice();
  if (mainNice > 0) GTEST_SKIP() << "the test process already runs with nice " << mainNice;
  int lowest = -100, below = -100;
  std::thread([&] {
    EXPECT_TRUE(plat::SetCurrentThreadPriority(plat::kThreadPriorityBelowNormal));
    below = CurrentNice();
  }).join();
  std::thread([&] {
    EXPECT_TRUE(plat::SetCurrentThreadPriority(plat::kThreadPriorityLowest));
    lowest = CurrentNice();
  }).join();
  EXPECT_GT(below, mainNice);
  EXPECT_GT(lowest, below);
  EXPECT_EQ(CurrentNice(), mainNice);
}

TEST(ThreadPriority, NormalAndAboveAreAcceptedWithoutPrivileges) {
  std::thread([] {
    EXPECT_TRUE(plat::SetCurrentThreadPriority(plat::kThreadPriorityNormal));
    EXPECT_TRUE(plat::SetCurrentThreadPriority(plat::kThreadPriorityHighest));
    EXPECT_EQ(CurrentPolicy(), SCHED_OTHER);
  }).join();
}

}  // namespace
