// Reachability probe and plain fetch against a loopback stand-in.
#include "client/diagnosis/ProbeAddress.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "HttpStandIn.h"

namespace {

class ProbeAddressTest : public testing::Test {
 protected:
  orvtest::TempDir m_root;
  diagtest::HttpStandIn m_server{m_root.Path()};
};

TEST_F(ProbeAddressTest, AnyHttpAnswerIsReachable) {
  ASSERT_TRUE(m_server.Started());
  EXPECT_TRUE(ProbeAddress(m_server.Url("/ok")));
  EXPECT_TRUE(ProbeAddress(m_server.Url("/nothing-here")));  // 404
  EXPECT_TRUE(ProbeAddress(m_server.Url("/redirect")));      // 302, not followed
}

TEST_F(ProbeAddressTest, NoAnswerIsUnreachable) {
  EXPECT_FALSE(ProbeAddress(""));
  EXPECT_FALSE(ProbeAddress(diagtest::ClosedUrl()));
  EXPECT_FALSE(ProbeAddress("not a url at all"));
  EXPECT_FALSE(ProbeAddress("file:///etc/hostname"));  // only web addresses are probed
  // No scheme is guessed, even for an address that would answer.
  const std::string bare = m_server.Url("/ok").substr(std::string("http://").size());
  EXPECT_FALSE(ProbeAddress(bare));
  EXPECT_FALSE(HttpFetch(bare).ok);
  EXPECT_TRUE(ProbeAddress("HTTP://" + bare));
}

TEST_F(ProbeAddressTest, FetchKeepsStatusAndBody) {
  orvtest::WriteFile(m_root.File("list/1.0"), std::string("a\r\nb\0c", 7));
  HttpFetchResult found = HttpFetch(m_server.Url("/list/1.0"));
  EXPECT_TRUE(found.ok);
  EXPECT_EQ(found.status, 200);
  EXPECT_EQ(found.body, std::string("a\r\nb\0c", 7));

  HttpFetchResult missing = HttpFetch(m_server.Url("/list/2.0"));
  EXPECT_TRUE(missing.ok);
  EXPECT_EQ(missing.status, 404);

  HttpFetchResult redirected = HttpFetch(m_server.Url("/redirect"));
  EXPECT_EQ(redirected.status, 200);
  EXPECT_EQ(redirected.body, "ok");

  HttpFetchResult refused = HttpFetch(diagtest::ClosedUrl("/list/1.0"));
  EXPECT_FALSE(refused.ok);
  EXPECT_EQ(refused.status, 0);
  EXPECT_TRUE(refused.body.empty());
}

TEST_F(ProbeAddressTest, FetchGivesUpOnAServerThatNeverAnswers) {
  const auto start = std::chrono::steady_clock::now();
  HttpFetchResult stalled = HttpFetch(m_server.Url("/hang"), nullptr, 1);
  EXPECT_FALSE(stalled.ok);
  EXPECT_TRUE(stalled.body.empty());
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
}

TEST_F(ProbeAddressTest, AbortEndsAWaitForAnAnswer) {
  std::atomic<bool> abort{false};
  std::thread stopper([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    abort = true;
  });
  const auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(ProbeAddress(m_server.Url("/hang"), kProbeConnectTimeoutMs, &abort));
  EXPECT_FALSE(HttpFetch(m_server.Url("/hang"), &abort).ok);  // already set: fails at once
  stopper.join();
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
}

}  // namespace
