// The request rules of the five lists, with fetches held by the test and answered when it
// chooses: joins, what a failed answer leaves, answers that arrive after they stopped
// mattering.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "client/apps/CAppLists.h"
#include "client/base/UserSession.h"

namespace {

struct Pending {
  ListFetch fetch;
  std::function<void(FetchedList)> done;
};

class AppListsTest : public ::testing::Test {
 protected:
  AppListsTest() {
    session.cookieKey = "k1";
    session.userName = "demo";
  }

  // Answers the oldest unanswered fetch with `count` records (appids from `first`), or
  // with a failure.
  void Answer(int count, bool ok = true, int first = 1) {
    ASSERT_FALSE(pending.empty());
    Pending p = std::move(pending.front());
    pending.erase(pending.begin());
    FetchedList answer;
    answer.value.kind = p.fetch.kind;
    if (!ok) answer.result.status = RequestStatus::NoAnswer;
    for (int i = 0; i < (ok ? count : 0); ++i) {
      auto app = std::make_shared<OrvAppInfo>();
      app->appid = first + i;
      app->xh = std::to_string(first + i);
      app->img = "img" + std::to_string(first + i);
      answer.value.records.push_back(app);
    }
    p.done(std::move(answer));
  }

  UserSession session;
  std::vector<Pending> pending;
  CAppLists lists{session, [this](const ListFetch& f, std::function<void(FetchedList)> done) {
                    pending.push_back({f, std::move(done)});
                  }};
};

TEST_F(AppListsTest, HeldListsAreFetchedOnlyAsTheRulesSay) {
  using R = CAppLists::Requested;
  struct Case {
    AppListKind kind;
    int records;  // in each answer
    std::vector<R> expected;
  };
  const Case cases[] = {
      // The hot list is held after its first answer, even an empty one.
      {AppListKind::Hot, 0, {R::Started, R::Held, R::Held}},
      // A catalogue list is held while it holds records; an empty one is forgotten.
      {AppListKind::AllWeb, 0, {R::Started, R::Started, R::Started}},
      {AppListKind::AllDesktop, 3, {R::Started, R::Held, R::Held}},
      // The private lists are fetched on every request.
      {AppListKind::PrivateWeb, 2, {R::Started, R::Started, R::Started}},
  };
  for (const Case& c : cases) {
    for (R expected : c.expected) {
      EXPECT_EQ(lists.Request(c.kind), expected) << static_cast<int>(c.kind);
      if (expected == R::Started) Answer(c.records);
    }
    EXPECT_EQ(lists.Held(c.kind).records.size(), static_cast<size_t>(c.records));
  }
  EXPECT_TRUE(pending.empty());
}

TEST_F(AppListsTest, ASecondRequestJoinsTheFetchInFlight) {
  std::vector<std::string> answered;
  auto answer = [&](const char* who) {
    return [&answered, who](const RequestResult& result, const AppList& list) {
      EXPECT_TRUE(result.Ok());
      answered.push_back(std::string(who) + ":" + std::to_string(list.records.size()));
    };
  };
  EXPECT_EQ(lists.Request(AppListKind::PrivateDesktop, answer("page")),
            CAppLists::Requested::Started);
  EXPECT_EQ(lists.Request(AppListKind::PrivateDesktop, answer("window")),
            CAppLists::Requested::Joined);
  EXPECT_TRUE(lists.InFlight(AppListKind::PrivateDesktop));
  ASSERT_EQ(pending.size(), 1u);  // one fetch for both
  EXPECT_EQ(lists.FetchCount(AppListKind::PrivateDesktop), 1);
  // The private list's fetch carries the session's cookie key and user folder.
  EXPECT_NE(pending[0].fetch.url.find("k1"), std::string::npos);
  EXPECT_NE(pending[0].fetch.folder.find("demo"), std::string::npos);
  Answer(4);
  EXPECT_EQ(answered, (std::vector<std::string>{"page:4", "window:4"}));
  EXPECT_FALSE(lists.InFlight(AppListKind::PrivateDesktop));
}

TEST_F(AppListsTest, AFailedAnswerLeavesTheHeldListAndAppendsStay) {
  ASSERT_EQ(lists.Request(AppListKind::PrivateDesktop), CAppLists::Requested::Started);
  Answer(2);
  OrvAppInfo added;
  added.xh = "9";
  added.img = "img9";
  lists.Append(AppListKind::PrivateDesktop, added);
  const AppRecord kept = lists.FindByXh(AppListKind::PrivateDesktop, "9");
  ASSERT_TRUE(kept);

  RequestResult seen;
  lists.Request(AppListKind::PrivateDesktop,
                [&](const RequestResult& result, const AppList&) { seen = result; });
  Answer(0, false);
  EXPECT_EQ(seen.status, RequestStatus::NoAnswer);
  EXPECT_EQ(lists.Held(AppListKind::PrivateDesktop).records.size(), 3u);

  // Removal works on the held list; a record handed out stays whole.
  EXPECT_FALSE(lists.RemoveFirstWithImg(AppListKind::PrivateDesktop, "nope"));
  EXPECT_TRUE(lists.RemoveFirstWithImg(AppListKind::PrivateDesktop, "img9"));
  EXPECT_FALSE(lists.FindByXh(AppListKind::PrivateDesktop, "9"));
  EXPECT_EQ(kept->img, "img9");
}

TEST_F(AppListsTest, AnswersAfterAbortChangeNothingAndCallNoOne) {
  int calls = 0;
  lists.Request(AppListKind::AllWeb, [&](const RequestResult&, const AppList&) { ++calls; });
  lists.AbortAll();
  Answer(5);
  EXPECT_EQ(calls, 0);
  EXPECT_TRUE(lists.Held(AppListKind::AllWeb).records.empty());
  EXPECT_EQ(lists.Request(AppListKind::AllWeb), CAppLists::Requested::Held);
  EXPECT_TRUE(pending.empty());
}

}  // namespace
