#include "client/account/CPlatformSoapClient.h"

#include "platform/AsciiCase.h"
#include "platform/Socket.h"

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <vector>

#include "AddPointsServiceHttpBinding.nsmap"
#include "soapAddPointsServiceHttpBindingProxy.h"

namespace {

// Copy of the generated namespace table with the configured URI bound to "ns1"; it must
// outlive the proxy that points at it.
class NamespaceTable {
 public:
  NamespaceTable() : m_ns1(CPlatformSoapClient::NamespaceUri()) {
    for (const Namespace* p = namespaces; p->id != nullptr; ++p) {
      Namespace entry = *p;
      if (std::strcmp(entry.id, "ns1") == 0) {
        entry.ns = m_ns1.c_str();
        entry.in = nullptr;
      }
      m_entries.push_back(entry);
    }
    m_entries.push_back(Namespace{nullptr, nullptr, nullptr, nullptr});
  }
  Namespace* Data() { return m_entries.data(); }

 private:
  std::string m_ns1;
  std::vector<Namespace> m_entries;
};

using Proxy = AddPointsServiceHttpBindingProxy;

// A document with bytes outside ASCII carries GBK text (the user name): the envelope around
// it declares GBK, in its XML declaration and in the HTTP Content-Type, so that a conforming
// server reads the bytes as what they are. An all-ASCII envelope is sent as before (UTF-8).
constexpr const char* kGbkProlog = "<?xml version=\"1.0\" encoding=\"GBK\"?>\n";

bool HasNonAscii(const std::string& text) {
  for (unsigned char c : text)
    if (c >= 0x80) return true;
  return false;
}

// The runtime's header writer, with the Content-Type's charset turned into GBK.
int (*g_postHeader)(soap*, const char*, const char*) = nullptr;

int GbkPostHeader(soap* s, const char* key, const char* value) {
  if (key && value && plat::AsciiIEquals(key, "Content-Type")) {
    std::string type = value;
    const size_t at = type.find("charset=");
    if (at != std::string::npos) {
      const size_t end = type.find(';', at);
      type.replace(at, end == std::string::npos ? std::string::npos : end - at, "charset=GBK");
      return g_postHeader(s, key, type.c_str());
    }
  }
  return g_postHeader(s, key, value);
}

std::atomic<int> g_connectTimeout{30};
std::atomic<int> g_ioTimeout{60};
std::atomic<int> g_totalTimeout{60};
// Larger answers are refused by the SOAP runtime (the login answer is a few hundred bytes).
constexpr unsigned long long kMaxAnswerBytes = 1024 * 1024;
// Deeper XML is refused by the SOAP runtime before it can exhaust the stack.
constexpr unsigned int kMaxXmlLevels = 64;

template <class Request, class Response>
std::string Invoke(int (Proxy::*operation)(const char*, const char*, Request*, Response&),
                   const std::string& endpoint, const std::string& document) {
  NamespaceTable table;
  auto proxy = std::make_unique<Proxy>(SOAP_C_UTFSTRING);
  soap_set_namespaces(proxy.get(), table.Data());
  proxy->connect_timeout = g_connectTimeout;
  proxy->send_timeout = g_ioTimeout;
  proxy->recv_timeout = g_ioTimeout;
  // The whole exchange, not only each read: a server trickling one byte at a time must
  // not keep the login going.
  proxy->transfer_timeout = g_totalTimeout;
  proxy->recv_maxlength = kMaxAnswerBytes;
  proxy->maxlevel = kMaxXmlLevels;
  // A server that resets the connection mid-request must fail the call, not raise SIGPIPE
  // and end the process.
  proxy->socket_flags = plat::net::NoSignalSendFlags();
  if (HasNonAscii(document)) {
    proxy->prolog = kGbkProlog;
    static std::once_flag once;
    std::call_once(once, [&] { g_postHeader = proxy->fposthdr; });
    proxy->fposthdr = &GbkPostHeader;
  }
  std::string in0 = document;
  auto request = std::make_unique<Request>();
  request->in0 = &in0;
  auto response = std::make_unique<Response>();

  // The status is not examined: a failed call leaves "out" absent.
  ((*proxy).*operation)(endpoint.c_str(), "", request.get(), *response);
  std::string out = response->out != nullptr ? *response->out : std::string();

  // Response, request, proxy: the strings of the response live in the proxy's memory.
  response.reset();
  request.reset();
  proxy.reset();
  return out;
}

}  // namespace

std::string CPlatformSoapClient::Login(const std::string& endpoint, const std::string& document) {
  return Invoke<_ns1__login, _ns1__loginResponse>(&Proxy::login, endpoint, document);
}

std::string CPlatformSoapClient::LoginOut(const std::string& endpoint,
                                          const std::string& document) {
  return Invoke<_ns1__loginOut, _ns1__loginOutResponse>(&Proxy::loginOut, endpoint, document);
}

void CPlatformSoapClient::SetTimeouts(int connectSeconds, int ioSeconds, int totalSeconds) {
  g_connectTimeout = connectSeconds;
  g_ioTimeout = ioSeconds;
  g_totalTimeout = totalSeconds;
}

std::string CPlatformSoapClient::NamespaceUri() {
  const char* configured = std::getenv("ORVANTA_SOAP_NS1");
  if (configured != nullptr && *configured != '\0') return configured;
  return ORV_SOAP_NS1;
}
