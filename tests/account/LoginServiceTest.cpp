#include <gtest/gtest.h>
#ifndef _WIN32
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "client/account/CCredentialStore.h"
#include "client/account/CLoginService.h"
#include "client/account/CPlatformSoapClient.h"
#include "client/base/XmlLimits.h"
#include "platform/Socket.h"
#include "soapAddPointsServiceHttpBindingProxy.h"
#include "tests/support/TestSupport.h"

namespace {

const std::string kZhangGbk = "\xD5\xC5\xBB\xE1\xBC\xC6";  // 张会计

using orvtest::ScopedEnv;

int ClosedPort() { return orvtest::ClosedLoopbackPort(); }

// A loopback socket listening with a backlog of 4 (the system completes connections that
// nobody accepts); its port in port. kNoSocket on failure.
plat::net::Socket ListenOnLoopback(int& port) { return plat::net::ListenLoopback(&port, 4); }

// The stand-in login services, recording every request; optionally answering with a
// canned "out" text or a canned envelope (re-read for every request).
class LoginServiceTest : public ::testing::Test {
 protected:
  void StartServer(const std::vector<std::string>& extra = {}) {
    std::vector<std::string> argv = {
        ORV_PYTHON,     ORV_SOURCE_DIR "/tools/platform-sim/sim_login.py",
        "--port",       "0",
        "--record-dir", m_records.Path()};
    argv.insert(argv.end(), extra.begin(), extra.end());
    m_server = std::make_unique<orvtest::ChildProcess>(argv);
    const auto vars = m_server->ReadAssignments({"ORVANTA_HOST_WEB"});
    ASSERT_EQ(vars.count("ORVANTA_HOST_WEB"), 1u) << "stand-in did not start";
    m_host = std::make_unique<ScopedEnv>("ORVANTA_HOST_WEB", vars.at("ORVANTA_HOST_WEB"));
  }
  void StartCanned() { StartServer({"--canned-out", m_files.File("out.txt")}); }
  void CannedOut(const std::string& utf8) { orvtest::WriteFile(m_files.File("out.txt"), utf8); }

  std::string Recorded(int n, const char* what) const {
    return orvtest::ReadFile(m_records.File(std::to_string(n) + "." + what));
  }
  std::string TempData() const { return orvtest::ReadFile(m_dir.Path() + "/temp/TempData.xml"); }

  orvtest::TempProgramDir m_dir;
  orvtest::TempDir m_records;
  orvtest::TempDir m_files;
  std::unique_ptr<orvtest::ChildProcess> m_server;
  std::unique_ptr<ScopedEnv> m_host;
  UserSession m_session;
  CLoginService m_service{m_session};
};

TEST_F(LoginServiceTest, SampleUserSignsInWithTheIssuedCookieKey) {
  StartServer();
  const LoginResult result = m_service.Login("张会计", "kj2026", true);
  ASSERT_TRUE(result.success);
  EXPECT_EQ(result.errorInfo, "");
  EXPECT_EQ(m_session.loggedIn, 1);
  EXPECT_EQ(m_session.userName, "张会计");
  EXPECT_EQ(m_session.password, "kj2026");
  EXPECT_EQ(m_session.cookieKey.size(), 32u);
  EXPECT_EQ(m_session.cookieKey, m_service.LastAnswer().transferID);
  // The answer stays on disk as GBK.
  EXPECT_NE(TempData().find("\xB5\xC7\xC2\xBC\xB3\xC9\xB9\xA6"), std::string::npos)  // 登录成功
      << TempData();
  EXPECT_EQ(Recorded(1, "path"), "/services/LoginService");
}

TEST_F(LoginServiceTest, WrongPasswordSignsOutAndKeepsThePreviousSessionData) {
  StartServer();
  ASSERT_TRUE(m_service.Login("demo", "demo123", false).success);
  const std::string key = m_session.cookieKey;

  const LoginResult result = m_service.Login("张会计", "wrong", true);
  EXPECT_FALSE(result.success);
  EXPECT_EQ(result.errorInfo, "用户名或密码错误");
  EXPECT_EQ(m_session.loggedIn, 0);
  EXPECT_EQ(m_session.userName, "demo") << "only a successful login writes the user fields";
  EXPECT_EQ(m_session.cookieKey, key);
  // The failed attempt is what user.cfg holds now.
  const StoredCredentials stored = CCredentialStore::Read();
  EXPECT_EQ(stored.userName, "张会计");
  EXPECT_EQ(stored.password, "wrong");
  EXPECT_EQ(stored.rememberPassword, 1);
}

TEST_F(LoginServiceTest, ExchangeLeavesTheSessionToApply) {
  StartServer();
  m_session.userName = "earlier";
  m_session.loggedIn = 1;
  const AbortFlag never{false};
  const LoginResult result = m_service.Exchange("demo", "demo123", false, never);
  ASSERT_TRUE(result.success);
  EXPECT_EQ(m_session.userName, "earlier") << "the exchange may run beside readers";
  EXPECT_EQ(m_session.loggedIn, 1);
  m_service.Apply(result);
  EXPECT_EQ(m_session.userName, "demo");
  EXPECT_EQ(m_session.cookieKey, result.session.cookieKey);
  EXPECT_EQ(m_session.loggedIn, 1);

  const LoginResult refused = m_service.Exchange("demo", "wrong", false, never);
  EXPECT_EQ(m_session.loggedIn, 1);
  m_service.Apply(refused);
  EXPECT_EQ(m_session.loggedIn, 0);
  EXPECT_EQ(m_session.userName, "demo");
}

TEST_F(LoginServiceTest, LoginDocumentBytesReachTheServerExactly) {
  StartServer();
  ASSERT_TRUE(m_service.Login("张会计", "kj2026", false).success);
  EXPECT_EQ(Recorded(1, "in0"),
            "<?xml version=\"1.0\" encoding=\"GBK\"?><InterfaceService><Authentication>"
            "<username>" +
                kZhangGbk +
                "</username><password>kj2026</password>"
                "<logintype>2</logintype></Authentication></InterfaceService>");
  // The GBK bytes travel unchanged, not re-encoded, inside an envelope that declares GBK.
  const std::string body = Recorded(1, "body");
  EXPECT_EQ(body.rfind("<?xml version=\"1.0\" encoding=\"GBK\"?>", 0), 0u) << body;
  EXPECT_NE(body.find("&lt;username&gt;" + kZhangGbk + "&lt;/username&gt;"), std::string::npos);
  EXPECT_NE(body.find("xmlns:SOAP-ENV=\"http://schemas.xmlsoap.org/soap/envelope/\""),
            std::string::npos);
  EXPECT_NE(body.find("<ns1:login><ns1:in0>"), std::string::npos) << body;
  EXPECT_EQ(body.find("encodingStyle"), std::string::npos) << "document/literal";
  EXPECT_EQ(body.find("Header"), std::string::npos);
}

TEST_F(LoginServiceTest, MarkupCharactersAreEscapedAndReadBackUnchanged) {
  StartServer();
  const LoginResult result = m_service.Login("tester", "a<b&c>d", false);
  EXPECT_TRUE(result.success) << "the server read the same password back";
  EXPECT_NE(Recorded(1, "in0").find("<password>a&lt;b&amp;c&gt;d</password>"), std::string::npos);

  m_service.Logout();
  EXPECT_EQ(
      CLoginService::BuildLogoutDocument("k<&>'\""),
      "<?xml version=\"1.0\" encoding=\"GBK\"?><InterfaceService><Authentication>"
      "<cookiekey>k&lt;&amp;&gt;&apos;&quot;</cookiekey></Authentication></InterfaceService>");
}

TEST_F(LoginServiceTest, LogoutAfterLogoutSendsTheLastCookieKeyAgain) {
  StartServer();
  int refreshes = 0;
  m_service.SetLoginDisplayRefresh([&] { ++refreshes; });
  ASSERT_TRUE(m_service.Login("demo", "demo123", false).success);
  const std::string key = m_session.cookieKey;

  m_service.Logout();
  EXPECT_EQ(m_session.loggedIn, 0);
  EXPECT_EQ(m_service.LastAnswer().transferStatus, "1");
  m_service.Logout();
  EXPECT_EQ(m_session.loggedIn, 0);
  EXPECT_EQ(m_service.LastAnswer().errorInfo, "用户未登录") << "the key is gone on the server";
  EXPECT_EQ(refreshes, 2);

  const std::string expected =
      "<?xml version=\"1.0\" encoding=\"GBK\"?><InterfaceService><Authentication><cookiekey>" +
      key + "</cookiekey></Authentication></InterfaceService>";
  for (int n : {2, 3}) {
    EXPECT_EQ(Recorded(n, "path"), "/services/LoginOutService");
    EXPECT_EQ(Recorded(n, "in0"), expected);
    EXPECT_NE(Recorded(n, "body").find("<ns1:loginOut><ns1:in0>"), std::string::npos);
  }
  EXPECT_EQ(m_session.cookieKey, key);
  EXPECT_EQ(m_session.userName, "demo");
}

TEST_F(LoginServiceTest, UnreachableServerFailsAfterStoringTheCredentials) {
  ScopedEnv host("ORVANTA_HOST_WEB", "127.0.0.1:" + std::to_string(ClosedPort()));
  m_session.loggedIn = 1;
  int refreshes = 0;
  m_service.SetLoginDisplayRefresh([&] { ++refreshes; });

  const LoginResult result = m_service.Login("张会计", "kj2026", true);
  EXPECT_FALSE(result.success);
  EXPECT_EQ(result.errorInfo, "");
  EXPECT_EQ(m_session.loggedIn, 0);
  const StoredCredentials stored = CCredentialStore::Read();
  EXPECT_TRUE(stored.usable);
  EXPECT_EQ(stored.userName, "张会计");
  EXPECT_EQ(stored.password, "kj2026");
  EXPECT_EQ(TempData(), "") << "the empty answer is written too";

  m_service.Logout();
  EXPECT_EQ(refreshes, 1) << "a failed logout still refreshes the display";
}

TEST_F(LoginServiceTest, SilentServerTimesOutInsteadOfHanging) {
  // Accepts connections (the kernel completes them from the backlog) and never answers.
  int port = 0;
  const plat::net::Socket fd = ListenOnLoopback(port);
  ASSERT_GE(fd, 0);
  ScopedEnv host("ORVANTA_HOST_WEB", "127.0.0.1:" + std::to_string(port));
  CPlatformSoapClient::SetTimeouts(30, 1);

  const auto start = std::chrono::steady_clock::now();
  const LoginResult result = m_service.Login("demo", "demo123", false);
  const auto took = std::chrono::steady_clock::now() - start;
  CPlatformSoapClient::SetTimeouts(30, 60);
  plat::net::Close(fd);

  EXPECT_FALSE(result.success);
  EXPECT_EQ(m_session.loggedIn, 0);
  EXPECT_LT(took, std::chrono::seconds(10));
}

// A raised abort flag ends the login or the logout while a silent server holds it (or
// before it starts), well before the I/O time-outs.
TEST_F(LoginServiceTest, AbortEndsTheExchangeWithASilentServer) {
  int port = 0;
  const plat::net::Socket listening = plat::net::ListenLoopback(&port, 4);
  ASSERT_NE(listening, plat::net::kNoSocket);
  ScopedEnv host("ORVANTA_HOST_WEB", "127.0.0.1:" + std::to_string(port));
  struct Case {
    const char* name;
    bool logout;
    int abortAfterMs;  // 0: raised before the call
  };
  for (const Case& c :
       {Case{"login, raised while waiting", false, 300},
        Case{"logout, raised while waiting", true, 300}, Case{"login, raised before", false, 0}}) {
    SCOPED_TRACE(c.name);
    AbortFlag abort{c.abortAfterMs == 0};
    std::thread raiser([&] {
      if (c.abortAfterMs == 0) return;
      std::this_thread::sleep_for(std::chrono::milliseconds(c.abortAfterMs));
      abort = true;
    });
    const auto start = std::chrono::steady_clock::now();
    LoginResult result;
    if (c.logout)
      m_service.SendLogout("ck", abort);
    else
      result = m_service.Exchange("demo", "demo123", false, abort);
    const auto took = std::chrono::steady_clock::now() - start;
    raiser.join();
    EXPECT_FALSE(result.success);
    EXPECT_FALSE(c.logout ? m_service.LastAnswer().result.Ok() : result.result.Ok());
    EXPECT_LT(took, std::chrono::seconds(5)) << "the I/O time-out is 60 s";
  }
  plat::net::Close(listening);
}

// The whole request as the server receives it: an ASCII document goes out byte for byte as
// it always did (UTF-8 declared); one with GBK bytes declares GBK in the XML declaration and
// the Content-Type, and nothing else changes.
TEST_F(LoginServiceTest, RequestDeclaresGbkOnlyWhenTheDocumentHasNonAsciiBytes) {
  const std::string envelopeHead =
      "<SOAP-ENV:Envelope xmlns:SOAP-ENV=\"http://schemas.xmlsoap.org/soap/envelope/\" "
      "xmlns:SOAP-ENC=\"http://schemas.xmlsoap.org/soap/encoding/\" "
      "xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\" "
      "xmlns:xsd=\"http://www.w3.org/2001/XMLSchema\" "
      "xmlns:ns1=\"" +
      CPlatformSoapClient::NamespaceUri() + "\"><SOAP-ENV:Body><ns1:login><ns1:in0>";
  const std::string envelopeTail = "</ns1:in0></ns1:login></SOAP-ENV:Body></SOAP-ENV:Envelope>";
  struct Case {
    std::string user, charset, declared;
  };
  for (const Case& c : {Case{"demo", "utf-8", "UTF-8"}, Case{kZhangGbk, "GBK", "GBK"}}) {
    SCOPED_TRACE(c.charset);
    int port = 0;
    const plat::net::Socket fd = ListenOnLoopback(port);
    ASSERT_GE(fd, 0);
    std::string received;
    std::thread server([fd, &received] {
      const plat::net::Socket client = plat::net::Accept(fd);
      if (client == plat::net::kNoSocket) return;
      plat::net::SetReceiveTimeout(client, 5000);
      char buffer[4096];
      for (long n; (n = plat::net::Receive(client, buffer, sizeof buffer)) > 0;) {
        received.append(buffer, static_cast<size_t>(n));
        const size_t head = received.find("\r\n\r\n");
        const size_t length = received.find("Content-Length: ");
        if (head != std::string::npos && length != std::string::npos &&
            received.size() >= head + 4 + std::stoul(received.substr(length + 16)))
          break;
      }
      plat::net::Close(client);
    });
    const std::string document =
        "<?xml version=\"1.0\" encoding=\"GBK\"?><InterfaceService>"
        "<Authentication><username>" +
        c.user + "</username></Authentication></InterfaceService>";
    CPlatformSoapClient::SetTimeouts(30, 2);
    CPlatformSoapClient::Login(
        "http://127.0.0.1:" + std::to_string(port) + "/services/LoginService", document);
    CPlatformSoapClient::SetTimeouts(30, 60);
    server.join();
    plat::net::Close(fd);
    std::string escaped;
    for (char ch : document)
      escaped += ch == '<' ? "&lt;" : ch == '>' ? "&gt;" : std::string(1, ch);
    const std::string body = "<?xml version=\"1.0\" encoding=\"" + c.declared + "\"?>\n" +
                             envelopeHead + escaped + envelopeTail + "\r\n";
    EXPECT_EQ(received,
              "POST /services/LoginService HTTP/1.1\r\nHost: 127.0.0.1:" + std::to_string(port) +
                  "\r\nUser-Agent: gSOAP/2.8\r\nContent-Type: text/xml; charset=" + c.charset +
                  "\r\nContent-Length: " + std::to_string(body.size()) +
                  "\r\nConnection: close\r\nSOAPAction: \"\"\r\n\r\n" + body);
  }
}

TEST_F(LoginServiceTest, ServerHangingUpMidRequestFailsTheCallWithoutKillingTheProcess) {
  // Writing to a connection the peer has reset raises SIGPIPE unless the sends ask not to;
  // the default action would end the whole client. Make sure the default action is in place.
  const orvtest::DefaultBrokenPipeAction byDefault;

  int port = 0;
  const plat::net::Socket fd = ListenOnLoopback(port);
  ASSERT_GE(fd, 0);
  std::thread server([fd] {
    const plat::net::Socket client = plat::net::Accept(fd);
    // Unread data pending: the system answers with a reset.
    if (client != plat::net::kNoSocket) plat::net::Close(client);
  });

  // A document of several megabytes keeps the client sending after the reset arrived.
  const std::string out = CPlatformSoapClient::Login(
      "http://127.0.0.1:" + std::to_string(port) + "/services/LoginService",
      std::string(8 << 20, 'x'));
  server.join();
  plat::net::Close(fd);
  EXPECT_EQ(out, "");
}

struct CannedCase {
  const char* name;
  std::string out;
  bool success;
  std::string cookieKey;
  std::string errorInfo;
};

TEST_F(LoginServiceTest, AnswersAreReadFromTheFirstTransferElement) {
  StartCanned();
  const std::string head = "<?xml version=\"1.0\" encoding=\"GBK\"?>";
  const std::vector<CannedCase> cases = {
      {"status without transferID signs in with an empty key",
       head + "<InterfaceService><Transfer><transferStatus>1</transferStatus></Transfer>"
              "</InterfaceService>",
       true, "", ""},
      {"leading blank",
       head + "<R><Transfer><transferID>K</transferID>"
              "<transferStatus> 1</transferStatus></Transfer></R>",
       false, "", ""},
      {"trailing blank", head + "<R><Transfer><transferStatus>1 </transferStatus></Transfer></R>",
       false, "", ""},
      {"empty status", head + "<R><Transfer><transferStatus></transferStatus></Transfer></R>",
       false, "", ""},
      {"refusal with a Chinese text",
       head + "<R><Transfer><transferStatus>0</transferStatus><errorInfo>密码已过期</errorInfo>"
              "</Transfer></R>",
       false, "", "密码已过期"},
      {"no Transfer element",
       head + "<R><Other><transferStatus>1</transferStatus><errorInfo>x</errorInfo></Other></R>",
       false, "", ""},
      {"names are case-sensitive",
       head + "<R><transfer><transferStatus>1</transferStatus></transfer></R>", false, "", ""},
      {"not XML", "login ok", false, "", ""},
      {"empty answer", "", false, "", ""},
      {"root is the Transfer element",
       "<Transfer><transferID>ROOT</transferID><transferStatus>1</transferStatus></Transfer>", true,
       "ROOT", ""},
      {"first Transfer depth-first wins",
       head + "<R><A><B><Transfer><transferID>DEEP</transferID><transferStatus>1</transferStatus>"
              "</Transfer></B></A><Transfer><transferStatus>0</transferStatus>"
              "<errorInfo>later</errorInfo></Transfer></R>",
       true, "DEEP", ""},
      {"a later element of the same name overwrites",
       head + "<R><Transfer><transferID>K1</transferID><transferStatus>1</transferStatus>"
              "<transferID>K2</transferID><transferID/><other>1</other></Transfer></R>",
       true, "K2", ""},
      {"document declared UTF-8 still reads its Chinese text",
       "<?xml version=\"1.0\" encoding=\"UTF-8\"?><R><Transfer><transferStatus>0</transferStatus>"
       "<errorInfo>账号已锁定</errorInfo></Transfer></R>",
       false, "", "账号已锁定"},
  };
  for (const CannedCase& c : cases) {
    SCOPED_TRACE(c.name);
    CannedOut(c.out);
    m_session = UserSession{};
    const LoginResult result = m_service.Login("demo", "demo123", false);
    EXPECT_EQ(result.success, c.success);
    EXPECT_EQ(m_session.loggedIn, c.success ? 1 : 0);
    EXPECT_EQ(result.errorInfo, c.errorInfo);
    if (c.success) {
      EXPECT_EQ(m_session.cookieKey, c.cookieKey);
    }
  }
}

TEST_F(LoginServiceTest, MissingOrNilOutIsAnEmptyAnswer) {
  const std::string envelopeFile = m_files.File("envelope.xml");
  StartServer({"--canned-envelope", envelopeFile});
  const std::string open =
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?><soap:Envelope "
      "xmlns:soap=\"http://schemas.xmlsoap.org/soap/envelope/\" "
      "xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\"><soap:Body>"
      "<ns1:loginResponse xmlns:ns1=\"http://services.orvanta.example\">";
  const std::string close = "</ns1:loginResponse></soap:Body></soap:Envelope>";
  const std::vector<std::pair<const char*, std::string>> envelopes = {
      {"out missing", open + close},
      {"out nil", open + "<ns1:out xsi:nil=\"true\"/>" + close},
      {"fault",
       "<?xml version=\"1.0\"?><soap:Envelope "
       "xmlns:soap=\"http://schemas.xmlsoap.org/soap/envelope/\"><soap:Body><soap:Fault>"
       "<faultcode>soap:Server</faultcode><faultstring>boom</faultstring></soap:Fault>"
       "</soap:Body></soap:Envelope>"},
      {"not SOAP", "<html>oops</html>"},
  };
  ScopedEnv ns("ORVANTA_SOAP_NS1", "http://services.orvanta.example");
  for (const auto& [name, envelope] : envelopes) {
    SCOPED_TRACE(name);
    orvtest::WriteFile(envelopeFile, envelope);
    m_session.loggedIn = 1;
    const LoginResult result = m_service.Login("demo", "demo123", false);
    EXPECT_FALSE(result.success);
    EXPECT_EQ(result.errorInfo, "");
    EXPECT_EQ(m_session.loggedIn, 0);
    EXPECT_EQ(TempData(), "");
  }
}

TEST_F(LoginServiceTest, ProxySendsAnAbsentStringAsNil) {
  StartServer();
  AddPointsServiceHttpBindingProxy proxy(SOAP_C_UTFSTRING);
  _ns1__login request;
  _ns1__loginResponse response;
  const std::string endpoint =
      "http://" + std::string(std::getenv("ORVANTA_HOST_WEB")) + "/services/LoginService";
  ASSERT_EQ(proxy.login(endpoint.c_str(), "", &request, response), SOAP_OK);
  const std::string body = Recorded(1, "body");
  EXPECT_NE(body.find("<ns1:login><ns1:in0 xsi:nil=\"true\"/></ns1:login>"), std::string::npos)
      << body;
  ASSERT_NE(response.out, nullptr) << "the stand-in answers an unreadable request";
  EXPECT_NE(response.out->find("<transferStatus>0</transferStatus>"), std::string::npos);
}

TEST_F(LoginServiceTest, Ns1NamespaceUriIsConfigurable) {
  ScopedEnv ns("ORVANTA_SOAP_NS1", "urn:example:account-test");
  StartServer();
  EXPECT_TRUE(m_service.Login("demo", "demo123", false).success)
      << "the answer in the configured namespace is understood";
  EXPECT_NE(Recorded(1, "body").find("xmlns:ns1=\"urn:example:account-test\""), std::string::npos);
}

#ifndef _WIN32  // POSIX modes and users; on Windows the folder's access list decides
// The answer is parsed from the text received, whatever the state of TempData.xml.
TEST(LoginAnswerTest, ReadOnlyTempDataNeverStandsInForTheNewAnswer) {
  orvtest::TempProgramDir dir;
  const LoginAnswer old = LoginAnswer::ParseGbk(
      "<R><Transfer><transferID>OLD</transferID><transferStatus>1</transferStatus>"
      "</Transfer></R>");
  ASSERT_EQ(old.transferID, "OLD");
  const std::string temp = dir.Path() + "/temp";
  // Left behind by another account: readable, not writable.
  ASSERT_EQ(chmod(dir.Path().c_str(), 0755), 0);
  ASSERT_EQ(chmod((temp + "/TempData.xml").c_str(), 0444), 0);
  ASSERT_EQ(chmod(temp.c_str(), 0555), 0);

  const pid_t pid = fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    if (geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0)) _exit(3);
    const LoginAnswer now = LoginAnswer::ParseGbk(
        "<R><Transfer><transferStatus>0</transferStatus><errorInfo>a\r\nb</errorInfo>"
        "</Transfer></R>");
    _exit(now.transferStatus == "0" && now.transferID.empty() && now.errorInfo == "a\nb" ? 0 : 1);
  }
  int status = 0;
  waitpid(pid, &status, 0);
  chmod(temp.c_str(), 0755);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0) << "3: could not drop privileges; 1: wrong answer read";
  EXPECT_NE(orvtest::ReadFile(temp + "/TempData.xml").find("OLD"), std::string::npos)
      << "the file could not be written after all";
}
#endif

struct HostileXmlCase {
  const char* name;
  std::string text;  // GBK bytes as received
  RequestStatus status;
};

std::string DeepXml(size_t depth) {
  std::string text;
  text.reserve(depth * 7);
  for (size_t i = 0; i < depth; ++i) text += "<a>";
  for (size_t i = 0; i < depth; ++i) text += "</a>";
  return text;
}

class HostileLoginAnswerTest : public ::testing::TestWithParam<HostileXmlCase> {};

TEST_P(HostileLoginAnswerTest, AnswerIsJudgedWithoutCrashing) {
  orvtest::TempProgramDir dir;
  const LoginAnswer answer = LoginAnswer::ParseGbk(GetParam().text);
  EXPECT_EQ(answer.result.status, GetParam().status) << answer.result.reason;
  if (GetParam().status != RequestStatus::Ok) {
    EXPECT_TRUE(answer.transferStatus.empty());
  }
}

INSTANTIATE_TEST_SUITE_P(
    Answers, HostileLoginAnswerTest,
    ::testing::Values(
        HostileXmlCase{"Good", "<R><Transfer><transferStatus>1</transferStatus></Transfer></R>",
                       RequestStatus::Ok},
        HostileXmlCase{"Nested200000Deep", DeepXml(200000), RequestStatus::Unusable},
        HostileXmlCase{"DeepInsideTransfer", "<R><Transfer>" + DeepXml(5000) + "</Transfer></R>",
                       RequestStatus::Unusable},
        HostileXmlCase{
            "LargerThanOneMegabyte",
            "<R><Transfer><errorInfo>" + std::string(1 << 20, 'x') + "</errorInfo></Transfer></R>",
            RequestStatus::Unusable},
        HostileXmlCase{"NotXml", "502 Bad Gateway", RequestStatus::Unusable},
        HostileXmlCase{"NoTransfer", "<R><Other/></R>", RequestStatus::Unusable},
        HostileXmlCase{"Empty", "", RequestStatus::NoAnswer},
        // Comments, CDATA and quoted '>' do not count as nesting.
        HostileXmlCase{"MarkupThatIsNotNesting",
                       "<?xml version=\"1.0\"?><!-- <a><a><a> --><R x=\"a>b\"><Transfer>"
                       "<errorInfo><![CDATA[<a><a><a>]]></errorInfo><transferStatus>0"
                       "</transferStatus></Transfer></R>",
                       RequestStatus::Ok}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(XmlLimitsTest, NestingScanCountsElementsOnly) {
  EXPECT_TRUE(XmlNestingWithin(DeepXml(256)));
  EXPECT_FALSE(XmlNestingWithin(DeepXml(257)));
  EXPECT_TRUE(XmlNestingWithin(std::string(100000, '<') + ">"));  // one unfinished tag
  std::string siblings;
  for (int i = 0; i < 10000; ++i) siblings += "<a/><b></b>";
  EXPECT_TRUE(XmlNestingWithin("<r>" + siblings + "</r>", 2));
}

#ifndef _WIN32  // POSIX modes; on Windows the folder's access list decides
TEST_F(LoginServiceTest, TempDataIsReadableByItsOwnerOnly) {
  StartServer();
  m_service.Login("demo", "demo123", false);
  struct stat st {};
  ASSERT_EQ(stat((m_dir.Path() + "/temp/TempData.xml").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
}
#endif

TEST_F(LoginServiceTest, TricklingServerIsCutOffByTheOverallDeadline) {
  // Answers one byte at a time, each well within the per-read time-out.
  int port = 0;
  const plat::net::Socket fd = ListenOnLoopback(port);
  ASSERT_GE(fd, 0);
  std::atomic<bool> stop{false};
  std::thread server([fd, &stop] {
    const plat::net::Socket client = plat::net::Accept(fd);
    if (client == plat::net::kNoSocket) return;
    const std::string head = "HTTP/1.1 200 OK\r\nContent-Type: text/xml\r\nX-Padding: ";
    for (size_t i = 0; !stop && i < 1000; ++i) {
      const char c = i < head.size() ? head[i] : 'x';
      if (plat::net::Send(client, &c, 1) != 1) break;
      std::this_thread::sleep_for(std::chrono::milliseconds(200));
    }
    plat::net::Close(client);
  });
  ScopedEnv host("ORVANTA_HOST_WEB", "127.0.0.1:" + std::to_string(port));
  CPlatformSoapClient::SetTimeouts(30, 1, 2);
  const auto start = std::chrono::steady_clock::now();
  const LoginResult result = m_service.Login("demo", "demo123", false);
  const auto took = std::chrono::steady_clock::now() - start;
  CPlatformSoapClient::SetTimeouts(30, 60, 60);
  stop = true;
  server.join();
  plat::net::Close(fd);
  EXPECT_FALSE(result.success);
  EXPECT_FALSE(result.result.Ok());
  EXPECT_LT(took, std::chrono::seconds(8));
}

}  // namespace
