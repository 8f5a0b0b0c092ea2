// The push channel: framing of the byte stream, the thread's address choice, delivery
// threshold, keep-alive and reconnection, against a TCP server of the test.
#include <gtest/gtest.h>

#include <mutex>
#include <thread>

#include "StubHttpServer.h"
#include "client/base/CIniFile.h"
#include "client/base/ServerConfig.h"
#include "client/requests/CLoginTcpSocket.h"
#include "platform/Encoding.h"
#include "platform/ProgramDir.h"
#include "platform/Socket.h"
#include "support/TestSupport.h"

namespace {

using orvtest::ScopedEnv;
using orvtest::StubHttpServer;
using orvtest::WaitUntil;

// A TCP listener on 127.0.0.1 that the push thread connects to.
class StubPushServer {
 public:
  StubPushServer() { m_listen = plat::net::ListenLoopback(&m_port, 4); }
  ~StubPushServer() {
    CloseClient();
    plat::net::Close(m_listen);
  }
  int Port() const { return m_port; }

  // Waits for the next connection; false on timeout.
  bool Accept(int timeoutMs = 5000) {
    if (plat::net::WaitReadable(m_listen, timeoutMs) <= 0) return false;
    CloseClient();
    m_client = plat::net::Accept(m_listen);
    return m_client != plat::net::kNoSocket;
  }
  void Send(const std::string& bytes) { plat::net::Send(m_client, bytes.data(), bytes.size()); }
  // Bytes that arrive within timeoutMs.
  std::string Receive(size_t want, int timeoutMs) {
    std::string got;
    char buf[256];
    while (got.size() < want) {
      if (plat::net::WaitReadable(m_client, timeoutMs) <= 0) break;
      const long n = plat::net::Receive(m_client, buf, sizeof buf);
      if (n <= 0) break;
      got.append(buf, static_cast<size_t>(n));
    }
    return got;
  }
  void CloseClient() {
    plat::net::Close(m_client);
    m_client = plat::net::kNoSocket;
  }

 private:
  plat::net::Socket m_listen = plat::net::kNoSocket;
  plat::net::Socket m_client = plat::net::kNoSocket;
  int m_port = 0;
};

class Inbox {
 public:
  CLoginTcpSocket::Deliver Callback() {
    return [this](const PushMessage& m) {
      std::lock_guard<std::mutex> lock(m_mutex);
      m_messages.push_back(m);
    };
  }
  size_t Count() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_messages.size();
  }
  PushMessage At(size_t i) const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_messages.at(i);
  }

 private:
  mutable std::mutex m_mutex;
  std::vector<PushMessage> m_messages;
};

std::string Message(const std::string& title, const std::string& content) {
  return plat::Utf8ToGbk("{\"tittle\":\"" + title + "\",\"content\":\"" + content +
                         "\",\"url\":\"http://n/1\"}");
}

TEST(PushMessageFramerTest, CutsTheStreamIntoObjects) {
  PushMessageFramer framer;
  const std::string a = R"({"tittle":"a","content":"{x}","url":"\"}"})";
  const std::string b = R"({ "tittle":"b","n":{"deep":1}})";
  const std::string both = "\r\n" + a + " garbage " + b;
  framer.Feed(both.data(), both.size());
  EXPECT_EQ(framer.Next(), a);
  EXPECT_EQ(framer.Next(), b);
  EXPECT_EQ(framer.Next(), std::nullopt);

  // A message split over two receives comes out once, whole.
  framer.Feed(a.data(), 10);
  EXPECT_EQ(framer.Next(), std::nullopt);
  framer.Feed(a.data() + 10, a.size() - 10);
  EXPECT_EQ(framer.Next(), a);
  EXPECT_EQ(framer.Pending(), 0u);
}

TEST(PushMessageFramerTest, GbkSecondBytesAreNotSyntax) {
  // In GBK the second bytes of these characters are '}' and '\'.
  const std::string text = plat::Utf8ToGbk(R"({"tittle":"倉乗","content":"亇"})");
  ASSERT_NE(text.find("\x82\x7d"), std::string::npos);
  ASSERT_NE(text.find("\x81\x5c"), std::string::npos);
  PushMessageFramer framer;
  framer.Feed(text.data(), text.size());
  const auto out = framer.Next();
  ASSERT_TRUE(out.has_value());
  EXPECT_EQ(*out, text);
  const auto message = ParsePushMessage(*out);
  ASSERT_TRUE(message.has_value());
  EXPECT_EQ(message->title, "倉乗");
  EXPECT_EQ(message->content, "亇");
}

TEST(PushMessageFramerTest, UnclosedTextIsDroppedWhenTooLong) {
  PushMessageFramer framer;
  const std::string open = "{\"tittle\":\"" + std::string(PushMessageFramer::kMaxMessageBytes, 'x');
  framer.Feed(open.data(), open.size());
  EXPECT_EQ(framer.Next(), std::nullopt);
  EXPECT_EQ(framer.Pending(), 0u);
  EXPECT_EQ(ParsePushMessage("{not json}"), std::nullopt);
  EXPECT_EQ(ParsePushMessage("[1,2]"), std::nullopt);
}

TEST(PushMessageTest, ARefusedLinkMakesAMessageWithoutALink) {
  for (const auto& [url, kept] :
       std::initializer_list<std::pair<const char*, bool>>{{"https://example.com/news?id=1", true},
                                                           {"file:///etc/passwd", false},
                                                           {"smb://127.0.0.1/share", false},
                                                           {"/usr/bin/xterm", false},
                                                           {"http://a\\n--new-window", false}}) {
    const auto message = ParsePushMessage(
        std::string("{\"tittle\":\"t\",\"content\":\"c\",\"url\":\"") + url + "\"}");
    ASSERT_TRUE(message.has_value()) << url;
    EXPECT_EQ(message->url, kept ? url : "") << url;
    EXPECT_EQ(message->title, "t");
  }
}

class PushChannelTest : public ::testing::Test {
 protected:
  PushChannelTest() {
    plat::MakeDirectories(m_dir.Path() + "/image");
    PointMessageServerAtPushServer();
  }
  void PointMessageServerAtPushServer() {
    m_message.SetAnswer(server_paths::kPushServerInfo,
                        R"({"success":true,"serverip":"127.0.0.1","serverport":")" +
                            std::to_string(m_push.Port()) + "\"}");
  }
  static PushChannelOptions Fast(int receivesPerKeepAlive = 1000001) {
    PushChannelOptions o;
    o.pauseMs = 5;
    o.reconnectPauseMs = 50;
    o.receivesPerKeepAlive = receivesPerKeepAlive;
    return o;
  }

  orvtest::TempProgramDir m_dir;
  StubHttpServer m_message;
  StubPushServer m_push;
  ScopedEnv m_msgHost{"ORVANTA_HOST_MESSAGE", m_message.HostPort()};
  ScopedEnv m_pushHost{"ORVANTA_HOST_PUSH", "127.0.0.1"};
  Inbox m_inbox;
};

TEST_F(PushChannelTest, DeliversMessagesLongerThan32Bytes) {
  CLoginTcpSocket channel(m_inbox.Callback(), Fast());
  EXPECT_TRUE(channel.StartPushThread());
  ASSERT_TRUE(m_push.Accept());
  EXPECT_EQ(m_message.Targets().at(0), "/index.json");
  // A second start while the thread runs opens no second connection.
  EXPECT_TRUE(channel.StartPushThread());
  EXPECT_FALSE(m_push.Accept(200));

  const std::string small = R"({"tittle":"abcdefg"})";
  ASSERT_EQ(small.size(), 20u);
  m_push.Send(small);
  const std::string forty = R"({"tittle":"t","url":"http://h/12345678"})";
  ASSERT_EQ(forty.size(), 40u);
  m_push.Send(forty);
  ASSERT_TRUE(WaitUntil([&] { return m_inbox.Count() >= 1; }));
  EXPECT_EQ(m_inbox.At(0).title, "t");
  EXPECT_EQ(m_inbox.At(0).url, "http://h/12345678");

  // Two messages in one packet are both delivered, in order, converted from GBK.
  m_push.Send(Message("税务提醒", "本月十五日截止") + Message("系统通知", "今晚维护"));
  ASSERT_TRUE(WaitUntil([&] { return m_inbox.Count() >= 3; }));
  EXPECT_EQ(m_inbox.At(1).title, "税务提醒");
  EXPECT_EQ(m_inbox.At(1).content, "本月十五日截止");
  EXPECT_EQ(m_inbox.At(2).title, "系统通知");

  // A message split over two receives is delivered once, whole.
  const std::string split = Message("分段", "第二段内容");
  m_push.Send(split.substr(0, 15));
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  m_push.Send(split.substr(15));
  ASSERT_TRUE(WaitUntil([&] { return m_inbox.Count() >= 4; }));
  EXPECT_EQ(m_inbox.At(3).content, "第二段内容");
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  EXPECT_EQ(m_inbox.Count(), 4u);
  channel.Stop();
  EXPECT_FALSE(channel.started);
}

TEST_F(PushChannelTest, KeepAliveIs38BytesAfterTheReceives) {
  CLoginTcpSocket channel(m_inbox.Callback(), Fast(2));
  channel.StartPushThread();
  ASSERT_TRUE(m_push.Accept());
  EXPECT_EQ(m_push.Receive(1, 100), "");  // nothing is sent when the connection opens
  m_push.Send(Message("一", "第一条消息的内容"));
  ASSERT_TRUE(WaitUntil([&] { return m_inbox.Count() == 1; }));
  m_push.Send(Message("二", "第二条消息的内容"));
  const std::string keepAlive = m_push.Receive(38, 5000);
  EXPECT_EQ(keepAlive, "keep in touch with push message server");
  EXPECT_EQ(m_push.Receive(1, 150), "");  // no terminator follows
  channel.Stop();
}

TEST_F(PushChannelTest, ClosedConnectionIsReopened) {
  CLoginTcpSocket channel(m_inbox.Callback(), Fast());
  channel.StartPushThread();
  ASSERT_TRUE(m_push.Accept());
  m_push.CloseClient();
  ASSERT_TRUE(m_push.Accept());
  m_push.Send(Message("重连", "新连接上的消息内容"));
  ASSERT_TRUE(WaitUntil([&] { return m_inbox.Count() == 1; }));
  EXPECT_EQ(m_inbox.At(0).title, "重连");
  channel.Stop();
}

TEST_F(PushChannelTest, SilentConnectionIsTakenAsDeadAndReopened) {
  PushChannelOptions options = Fast();
  options.silenceLimitMs = 300;
  CLoginTcpSocket channel(m_inbox.Callback(), options);
  channel.StartPushThread();
  ASSERT_TRUE(m_push.Accept());
  // The first connection stays open but brings nothing: a second one follows.
  ASSERT_TRUE(m_push.Accept(5000));
  m_push.Send(Message("重连", "静默之后的新连接"));
  ASSERT_TRUE(WaitUntil([&] { return m_inbox.Count() == 1; }));
  channel.Stop();
}

TEST_F(PushChannelTest, FallsBackToConfiguredAddressWithoutServerAnswer) {
  m_message.SetAnswer(server_paths::kPushServerInfo, R"({"success":false})");
  CIniFile ini("\\image\\config.ini");
  ASSERT_TRUE(ini.WriteString("Server", "ListenIpAddr", "127.0.0.1"));
  ASSERT_TRUE(ini.WriteString("Server", "ListenPortNum", std::to_string(m_push.Port())));
  CLoginTcpSocket channel(m_inbox.Callback(), Fast());
  channel.StartPushThread();
  ASSERT_TRUE(m_push.Accept());
  m_push.Send(Message("配置", "来自配置的地址"));
  ASSERT_TRUE(WaitUntil([&] { return m_inbox.Count() == 1; }));
  channel.Stop();

  // An empty ListenIpAddr gives the built-in push host (127.0.0.1 here).
  ASSERT_TRUE(ini.WriteString("Server", "ListenIpAddr", ""));
  CLoginTcpSocket builtIn(m_inbox.Callback(), Fast());
  builtIn.StartPushThread();
  ASSERT_TRUE(m_push.Accept());
  builtIn.Stop();
  EXPECT_EQ(ini.ReadString("Server", "ListenIpAddr"), "");  // nothing written back
}

TEST_F(PushChannelTest, MissingPortIsWrittenBackAs81) {
  m_message.SetAnswer(server_paths::kPushServerInfo, R"({"success":false})");
  CIniFile ini("\\image\\config.ini");
  ASSERT_TRUE(ini.WriteString("Server", "ListenIpAddr", "127.0.0.1"));
  CLoginTcpSocket channel(m_inbox.Callback(), Fast());
  channel.StartPushThread();
  ASSERT_TRUE(WaitUntil([&] { return ini.ReadString("Server", "ListenPortNum") == "81"; }));
  channel.Stop();
}

TEST_F(PushChannelTest, StopEndsTheAddressRequestToASilentMessageServer) {
  // Accepts the request's connection and never answers.
  StubPushServer silent;
  ScopedEnv silentHost{"ORVANTA_HOST_MESSAGE", "127.0.0.1:" + std::to_string(silent.Port())};
  CLoginTcpSocket channel(m_inbox.Callback(), Fast());
  channel.StartPushThread();
  ASSERT_TRUE(silent.Accept());
  const auto start = std::chrono::steady_clock::now();
  channel.Stop();
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(1000));
  EXPECT_FALSE(channel.started);
  // A stopped channel does not go on to the configured address.
  EXPECT_FALSE(m_push.Accept(200));

  // Stopped right after the start, before the request could begin: ends as promptly.
  CLoginTcpSocket early(m_inbox.Callback(), Fast());
  early.StartPushThread();
  const auto earlyStart = std::chrono::steady_clock::now();
  early.Stop();
  EXPECT_LT(std::chrono::steady_clock::now() - earlyStart, std::chrono::milliseconds(1000));
}

TEST_F(PushChannelTest, ThreadThatCannotConnectEndsAndMayStartAgain) {
  const int closed = [] {
    StubPushServer s;
    return s.Port();
  }();
  m_message.SetAnswer(
      server_paths::kPushServerInfo,
      R"({"success":true,"serverip":"127.0.0.1","serverport":")" + std::to_string(closed) + "\"}");
  CLoginTcpSocket channel(m_inbox.Callback(), Fast());
  channel.StartPushThread();
  ASSERT_TRUE(WaitUntil([&] { return !channel.started; }));
  PointMessageServerAtPushServer();
  channel.StartPushThread();
  EXPECT_TRUE(m_push.Accept());
  channel.Stop();
}

}  // namespace
