// Answers a hostile or broken server may send: none may crash the client; each run hands
// back a status (ok, no answer, unusable answer) and a failed run keeps the previous results.
#include <gtest/gtest.h>

#include <atomic>
#include <string>

#include "RequestTestSupport.h"
#include "StubHttpServer.h"
#include "client/base/ServerConfig.h"
#include "client/requests/AppListCtrls.h"
#include "client/requests/CGetPushMsgServerInfoCtrl.h"
#include "client/requests/PushMessage.h"
#include "client/requests/RequestText.h"
#include "client/requests/SubscriptionCtrls.h"
#include "platform/Encoding.h"
#include "support/TestSupport.h"

namespace {

using orvtest::ScopedEnv;
using orvtest::StubHttpServer;

const std::string kGoodList =
    R"({"tcount":"1","data":[{"appid":"5","name":"发票","xh":"1","0":{"img":""}}]})";

std::string Nested(int depth, const char* open, const char* close) {
  std::string text;
  for (int i = 0; i < depth; ++i) text += open;
  for (int i = 0; i < depth; ++i) text += close;
  return text;
}

struct AnswerCase {
  const char* name;
  std::string body;
  RequestStatus status;
};

class HostileListTest : public ::testing::TestWithParam<AnswerCase> {
 protected:
  orvtest::TempProgramDir m_dir;
  StubHttpServer m_server;
  ScopedEnv m_app{"ORVANTA_HOST_APP", m_server.HostPort()};
};

TEST_P(HostileListTest, AnswerIsJudgedAndPreviousResultsStay) {
  CHotAppCtrl ctrl;
  m_server.SetAnswer(server_paths::kHotApps, kGoodList);
  ASSERT_TRUE(ctrl.RunDefault().Ok());
  ASSERT_EQ(ctrl.apps.size(), 1u);

  m_server.SetAnswer(server_paths::kHotApps, GetParam().body);
  const RequestResult result = ctrl.RunDefault();
  EXPECT_EQ(result.status, GetParam().status);
  EXPECT_EQ(ctrl.lastResult.status, GetParam().status);
  EXPECT_FALSE(result.reason.empty());
  ASSERT_EQ(ctrl.apps.size(), 1u) << "a failed run keeps what the controller held";
  EXPECT_EQ(ctrl.apps[0].name, "发票");
}

INSTANTIATE_TEST_SUITE_P(
    Answers, HostileListTest,
    ::testing::Values(
        // Past JsonCpp's own stack limit (it throws there): a 2 KB answer.
        AnswerCase{"DeepArrays", Nested(1100, "[", "]"), RequestStatus::Unusable},
        AnswerCase{"DeepObjectsInData", "{\"data\":" + Nested(1100, "{\"a\":", "}") + "}",
                   RequestStatus::Unusable},
        // Below JsonCpp's limit but beyond ours.
        AnswerCase{"DeepWithinLibraryLimit", Nested(300, "[", "]"), RequestStatus::Unusable},
        AnswerCase{"NotJson", "<html>502 Bad Gateway</html>", RequestStatus::Unusable},
        AnswerCase{"Truncated", R"({"data":[{"appid":"5")", RequestStatus::Unusable},
        AnswerCase{"Empty", "", RequestStatus::Unusable},
        AnswerCase{
            "TooLarge",
            "{\"data\":[],\"pad\":\"" + std::string(COrvAppCtrl::kMaxAnswerBytes, 'x') + "\"}",
            RequestStatus::Unusable}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(HostileFetchTest, ClosedPortIsNoAnswerAndAbortIsNoAnswer) {
  orvtest::TempProgramDir dir;
  ScopedEnv app("ORVANTA_HOST_APP", "127.0.0.1:" + std::to_string(orvtest::ClosedPort()));
  CHotAppCtrl ctrl;
  ctrl.Abort();
  EXPECT_EQ(ctrl.RunDefault().status, RequestStatus::NoAnswer);
  CHotAppCtrl other;
  const RequestResult result = other.RunDefault();
  EXPECT_EQ(result.status, RequestStatus::NoAnswer);
  EXPECT_NE(orvtest::ThreadLogText(dir.Path()).find("no answer"), std::string::npos)
      << "the reason goes to the log";
}

TEST(HostileFetchTest, AFailedPerUserRequestLeavesNoKeyInTheLog) {
  orvtest::TempProgramDir dir;
  ScopedEnv app("ORVANTA_HOST_APP", "127.0.0.1:" + std::to_string(orvtest::ClosedLoopbackPort()));
  CAddOrvAppCtrl ctrl;
  EXPECT_EQ(ctrl.Run(CAddOrvAppCtrl::UrlFor(5, "SECRETKEY42"), CAddOrvAppCtrl::kFolder).status,
            RequestStatus::NoAnswer);
  const std::string log = orvtest::ThreadLogText(dir.Path());
  EXPECT_NE(log.find("no answer"), std::string::npos) << log;
  EXPECT_EQ(log.find("SECRETKEY42"), std::string::npos) << log;
}

TEST(HostileFetchTest, BodyPastTheLimitStopsTheTransfer) {
  StubHttpServer server;
  server.SetAnswer("/big", std::string(5000, 'x'));
  static const std::atomic<bool> never{false};
  const auto answer = COrvAppCtrl::FetchText("http://" + server.HostPort() + "/big", never, 1000);
  EXPECT_EQ(answer.result.status, RequestStatus::Unusable);
  EXPECT_TRUE(answer.text.empty());
  EXPECT_TRUE(
      COrvAppCtrl::FetchText("http://" + server.HostPort() + "/big", never, 5000).result.Ok());
}

TEST(HostileFetchTest, InvalidUtf8IsReplacedBeforeItReachesNamesAndPaths) {
  orvtest::TempProgramDir dir;
  StubHttpServer server;
  ScopedEnv app("ORVANTA_HOST_APP", server.HostPort());
  server.SetAnswer(server_paths::kHotApps,
                   "{\"data\":[{\"appid\":\"5\",\"name\":\"a\xff\xfe"
                   "b\",\"xh\":\"1\","
                   "\"0\":{\"img\":\"http://h/i\xc3.png\",\"version\":\"1\"}}]}");
  CHotAppCtrl ctrl;
  ASSERT_TRUE(ctrl.RunDefault().Ok());
  ASSERT_EQ(ctrl.apps.size(), 1u);
  EXPECT_EQ(ctrl.apps[0].name,
            "a\xEF\xBF\xBD\xEF\xBF\xBD"
            "b");
  EXPECT_EQ(plat::ValidUtf8(ctrl.apps[0].iconPath), ctrl.apps[0].iconPath);
  EXPECT_EQ(plat::ValidUtf8(ctrl.apps[0].setupPath), ctrl.apps[0].setupPath);

  // An escape of half a surrogate pair decodes to no UTF-8 either.
  server.SetAnswer(server_paths::kHotApps,
                   R"({"data":[{"appid":"5","name":"a\udc00b","xh":"1","0":{"version":"1"}}]})");
  ASSERT_TRUE(ctrl.RunDefault().Ok());
  ASSERT_EQ(ctrl.apps.size(), 1u);
  EXPECT_EQ(ctrl.apps[0].name,
            "a\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD"
            "b");
}

TEST(ValidUtf8Test, ReplacesEveryIllFormedSequence) {
  const struct {
    std::string in, out;
  } cases[] = {
      {"plain", "plain"},
      {"中文", "中文"},
      {"\x80", "\xEF\xBF\xBD"},                                  // stray continuation byte
      {"\xC0\xAF", "\xEF\xBF\xBD\xEF\xBF\xBD"},                  // overlong '/'
      {"\xED\xA0\x80", "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD"},  // surrogate
      {"\xF4\x90\x80\x80", "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD"},  // > U+10FFFF
      {"a\xE4\xB8", "a\xEF\xBF\xBD"},            // cut-off character at the end
      {"\xF0\x9F\x98\x80", "\xF0\x9F\x98\x80"},  // four-byte character
  };
  for (const auto& c : cases) EXPECT_EQ(plat::ValidUtf8(c.in), c.out) << c.in;
}

struct PortCase {
  const char* name;
  std::string serverport;  // JSON value text
  bool usable;
  const char* port;
};

class PushServerInfoTest : public ::testing::TestWithParam<PortCase> {
 protected:
  orvtest::TempProgramDir m_dir;
  StubHttpServer m_server;
  ScopedEnv m_host{"ORVANTA_HOST_MESSAGE", m_server.HostPort()};
};

TEST_P(PushServerInfoTest, NumbersAreReadTolerantlyAndPortsChecked) {
  m_server.SetAnswer(
      server_paths::kPushServerInfo,
      R"({"success":true,"serverip":"127.0.0.1","serverport":)" + GetParam().serverport + "}");
  CGetPushMsgServerInfoCtrl ctrl;
  const RequestResult result = ctrl.RunDefault();
  EXPECT_EQ(result.Ok(), GetParam().usable) << result.reason;
  EXPECT_EQ(ctrl.serverPort, GetParam().port);
}

INSTANTIATE_TEST_SUITE_P(
    Ports, PushServerInfoTest,
    ::testing::Values(PortCase{"Text", "\"8081\"", true, "8081"},
                      PortCase{"Number", "8081", true, "8081"},
                      PortCase{"TextWithBlanks", "\" 8081 \"", true, " 8081 "},
                      PortCase{"Missing", "null", true, ""},
                      PortCase{"UInt64Max", "18446744073709551615", false, ""},
                      PortCase{"Huge", "1e19", false, ""}, PortCase{"Fraction", "80.5", false, ""},
                      PortCase{"AboveRange", "70000", false, ""},
                      PortCase{"Negative", "-1", false, ""},
                      PortCase{"TextOutOfRange", "\"99999999999999999999\"", false, ""},
                      PortCase{"TextNotANumber", "\"81x\"", false, ""}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(PushMessageParseTest, DeepOrBrokenMessagesAreSkippedNotFatal) {
  for (const std::string& text :
       {Nested(2000, "{\"a\":", "}"), Nested(1100, "[", "]"), std::string("{\"tittle\":1e999999}"),
        std::string("{\"tittle\":\"\\ud800\"}")}) {
    EXPECT_EQ(ParsePushMessage(text), std::nullopt) << text.substr(0, 40);
  }
}

// The push stream: one malformed frame loses at most itself.
struct FrameCase {
  const char* name;
  std::string bad;
};

class PushFramerResyncTest : public ::testing::TestWithParam<FrameCase> {};

TEST_P(PushFramerResyncTest, MalformedFrameLosesOnlyItself) {
  const std::string good1 = plat::Utf8ToGbk(R"({"tittle":"一","content":"第一条","url":"u1"})");
  const std::string good2 = plat::Utf8ToGbk(R"({"tittle":"二","content":"第二条","url":"u2"})");
  const std::string good3 = plat::Utf8ToGbk(R"({"tittle":"三","content":"第三条","url":"u3"})");
  for (bool oneReceive : {true, false}) {
    SCOPED_TRACE(oneReceive ? "one receive" : "separate receives");
    PushMessageFramer framer;
    std::vector<std::string> out;
    const std::string parts[] = {good1, GetParam().bad, good2, good3};
    if (oneReceive) {
      const std::string all = parts[0] + parts[1] + parts[2] + parts[3];
      framer.Feed(all.data(), all.size());
      while (auto m = framer.Next()) out.push_back(*m);
    } else {
      for (const std::string& p : parts) {
        framer.Feed(p.data(), p.size());
        while (auto m = framer.Next()) out.push_back(*m);
      }
    }
    EXPECT_EQ(out, (std::vector<std::string>{good1, good2, good3}));
  }
}

INSTANTIATE_TEST_SUITE_P(
    Frames, PushFramerResyncTest,
    ::testing::Values(FrameCase{"UnclosedBrace", R"({"tittle":"x","content":"never closed)"},
                      FrameCase{"GbkLeadByteBeforeClosingQuote",
                                "{\"tittle\":\"x\",\"content\":\"abc\x81\"}"},
                      FrameCase{"Garbage", std::string("\x01{{{\"}}\x81\x82{[ \"garbage\\")},
                      FrameCase{"ClosedButNotJson", R"({"tittle":"x" "content":"y"})"}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
