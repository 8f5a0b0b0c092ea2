// The line from workers to their owner, and the dispatch of message records onto hooks.
#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <deque>
#include <functional>
#include <future>
#include <mutex>
#include <thread>

#include "common/download/DownloadHooks.h"
#include "common/download/DownloadMessages.h"
#include "common/download/DownloadOwnerLink.h"
#include "common/download/DownloadReporter.h"
#include "support/TestSupport.h"

namespace {

// An owner thread that runs tasks only when told to.
class ManualOwner {
 public:
  DownloadOwnerLink::Poster Poster() {
    return [this](std::function<void()> task, bool urgent) {
      std::lock_guard lock(m_mutex);
      m_tasks.push_back(std::move(task));
      urgentFlags.push_back(urgent);
    };
  }
  size_t Pending() {
    std::lock_guard lock(m_mutex);
    return m_tasks.size();
  }
  void RunAll() {
    std::deque<std::function<void()>> tasks;
    {
      std::lock_guard lock(m_mutex);
      tasks.swap(m_tasks);
    }
    for (auto& t : tasks) t();
  }

  std::vector<bool> urgentFlags;

 private:
  std::mutex m_mutex;
  std::deque<std::function<void()>> m_tasks;
};

TEST(OwnerLinkTest, SendRunsTheHandlerOnTheOwnerThreadAndReturnsItsAnswer) {
  ManualOwner owner;
  auto link = std::make_shared<DownloadOwnerLink>(owner.Poster());
  std::thread::id ranOn;
  auto answer = std::async(std::launch::async, [&] {
    return link->Send([&] {
      ranOn = std::this_thread::get_id();
      return 7;
    });
  });
  ASSERT_TRUE(orvtest::WaitUntil([&] { return owner.Pending() == 1; }));
  EXPECT_EQ(answer.wait_for(std::chrono::milliseconds(20)), std::future_status::timeout);
  owner.RunAll();
  EXPECT_EQ(answer.get(), 7);
  EXPECT_EQ(ranOn, std::this_thread::get_id());
}

TEST(OwnerLinkTest, DetachReleasesAWaitingWorkerAndSkipsItsHandler) {
  ManualOwner owner;
  auto link = std::make_shared<DownloadOwnerLink>(owner.Poster());
  std::atomic<bool> ran{false};
  auto answer = std::async(std::launch::async, [&] {
    return link->Send([&] {
      ran = true;
      return 1;
    });
  });
  ASSERT_TRUE(orvtest::WaitUntil([&] { return owner.Pending() == 1; }));
  link->Detach();
  EXPECT_EQ(answer.get(), 0);
  owner.RunAll();  // the stale task finds the owner gone
  EXPECT_FALSE(ran);
  EXPECT_FALSE(link->Alive());

  // Later sends are not even posted.
  EXPECT_EQ(link->Send([] { return 1; }), 0);
  EXPECT_EQ(owner.Pending(), 0u);
}

TEST(OwnerLinkTest, QueuedCallsRunInOrderAndOnlyWhileTheOwnerLives) {
  ManualOwner owner;
  auto link = std::make_shared<DownloadOwnerLink>(owner.Poster());
  std::vector<int> ran;
  auto first = link->Post(
      [&] {
        ran.push_back(1);
        return 11;
      },
      false);
  auto second = link->Post(
      [&] {
        ran.push_back(2);
        return 22;
      },
      false);
  auto third = link->Post(
      [&] {
        ran.push_back(3);
        return 33;
      },
      false);
  EXPECT_EQ(owner.urgentFlags, (std::vector<bool>{false, false, false}));
  owner.RunAll();
  EXPECT_EQ(ran, (std::vector<int>{1, 2, 3}));
  EXPECT_EQ(link->Wait(second), 22);

  auto late = link->Post(
      [&] {
        ran.push_back(4);
        return 44;
      },
      false);
  link->Detach();
  EXPECT_EQ(link->Wait(late), 0);
  owner.RunAll();
  EXPECT_EQ(ran.size(), 3u);
  EXPECT_EQ(link->Post([] { return 1; }), nullptr);
  EXPECT_EQ(link->Wait(nullptr), 0);
  (void)first, (void)third;
}

class CountingHooks : public IDownloadHooks {
 public:
  void OnCheckTime(std::string url, std::string lastModified) override {
    log += "checktime(" + url + "," + lastModified + ")";
  }
  void OnProxyValidate(std::string, std::string& user, std::string& password) override {
    user = "u";
    password = "p";
    log += "proxy";
  }
  std::string log;
};

TEST(DispatchTest, CheckTimeAnswersOneAndProxyCredentialsGoBackToTheWorker) {
  CountingHooks hooks;
  const std::string url = "http://h/x", lastModified = "Tue";
  DownloadMessageRecord check;
  check.message = DownloadMessage::CheckTime;
  check.url = &url;
  check.lastModified = &lastModified;
  EXPECT_EQ(DispatchDownloadMessage(hooks, check), 1);

  std::string user, password;
  DownloadMessageRecord proxy;
  proxy.message = DownloadMessage::ProxyValidate;
  proxy.url = &url;
  proxy.user = &user;
  proxy.password = &password;
  EXPECT_EQ(DispatchDownloadMessage(hooks, proxy), 0);
  EXPECT_EQ(user, "u");
  EXPECT_EQ(password, "p");
  EXPECT_EQ(hooks.log, "checktime(http://h/x,Tue)proxy");

  // The base hooks of the other four do nothing and answer 0.
  for (auto m : {DownloadMessage::DownFinished, DownloadMessage::Progress, DownloadMessage::Error,
                 DownloadMessage::StartDownload}) {
    DownloadMessageRecord r;
    r.message = m;
    r.url = &url;
    EXPECT_EQ(DispatchDownloadMessage(hooks, r), 0) << DownloadMessageName(m);
  }
}

// A PROGRESS hook that blocks until released.
class BlockingProgressHooks : public IDownloadHooks {
 public:
  void OnCheckTime(std::string, std::string) override {}
  void OnDownProgress(std::string url, int64_t done, int64_t) override {
    std::unique_lock lock(mutex);
    seen.push_back(url + ":" + std::to_string(done));
    changed.notify_all();
    changed.wait(lock, [&] { return released; });
  }
  std::mutex mutex;
  std::condition_variable changed;
  std::vector<std::string> seen;
  bool released = false;
};

TEST(ReporterTest, AProgressBatchThatBeganIsWaitedForEvenAfterTheOwnerWentAway) {
  ManualOwner owner;
  BlockingProgressHooks hooks;
  DownloadJob job;
  job.link = std::make_shared<DownloadOwnerLink>(owner.Poster());
  job.owner = &hooks;
  job.url = "http://h/setup.exe";
  auto reporter = std::make_unique<DownloadReporter>(job);
  reporter->Progress(8192, 20000);
  std::thread ownerThread([&] { owner.RunAll(); });
  {
    std::unique_lock lock(hooks.mutex);
    ASSERT_TRUE(hooks.changed.wait_for(lock, std::chrono::seconds(10),
                                       [&] { return !hooks.seen.empty(); }));
  }
  // The owner goes while its hook runs; the worker reports once more and ends.
  job.link->Detach();
  reporter->Progress(16384, 20000);
  auto ended = std::async(std::launch::async, [&] { reporter.reset(); });
  // The worker may not end (and free what the batch uses) while the hook still runs.
  EXPECT_EQ(ended.wait_for(std::chrono::milliseconds(100)), std::future_status::timeout);
  {
    std::lock_guard lock(hooks.mutex);
    hooks.released = true;
    hooks.changed.notify_all();
  }
  ended.get();
  ownerThread.join();
  EXPECT_EQ(hooks.seen, (std::vector<std::string>{"http://h/setup.exe:8192"}));
  EXPECT_EQ(owner.Pending(), 0u);
}

}  // namespace
