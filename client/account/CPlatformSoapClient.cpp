#include "client/account/CPlatformSoapClient.h"

#include "platform/AsciiCase.h"
#include "platform/Socket.h"

#include <algorithm>
#include <atomic>
#include <chrono>
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

namespace net = plat::net;
using Clock = std::chrono::steady_clock;

// How often a wait looks at the abort flag.
constexpr int kAbortSliceMs = 100;

// One call's abort flag and deadline, and the runtime's own I/O functions the hooks below
// hand over to once the socket is ready; reached through soap::user.
struct CallHooks {
  const AbortFlag* abort = nullptr;
  Clock::time_point end;  // the whole exchange's deadline
  SOAP_SOCKET (*open)(soap*, const char*, const char*, int) = nullptr;
  int (*send)(soap*, const char*, size_t) = nullptr;
  size_t (*recv)(soap*, char*, size_t) = nullptr;
  std::string connectError;  // the fault text of a failed connect, kept for the call
};

CallHooks& HooksOf(soap* s) { return *static_cast<CallHooks*>(s->user); }

// The runtime's time-out convention: seconds when positive, microseconds when negative,
// none when 0 (the whole exchange's deadline still applies).
Clock::time_point DeadlineOf(int timeout, Clock::time_point end) {
  if (timeout == 0) return end;
  const auto span = timeout > 0 ? std::chrono::microseconds(timeout * 1000000LL)
                                : std::chrono::microseconds(-static_cast<long long>(timeout));
  return std::min(end, Clock::now() + span);
}

// Waits until the socket is ready for reading or writing in short slices, looking at the
// abort flag between them; false when the flag was raised or `deadline` passed first. A
// wait error counts as ready, so that the runtime's own call reports it.
bool WaitReady(SOAP_SOCKET fd, bool write, const AbortFlag& abort, Clock::time_point deadline) {
  const auto socket = static_cast<net::Socket>(fd);
  while (!abort) {
    const int ready =
        write ? net::WaitWritable(socket, kAbortSliceMs) : net::WaitReadable(socket, kAbortSliceMs);
    if (ready != 0) return true;
    if (Clock::now() >= deadline) return false;
  }
  return false;
}

size_t AbortableRecv(soap* s, char* buffer, size_t size) {
  CallHooks& hooks = HooksOf(s);
  if (soap_valid_socket(s->socket) &&
      !WaitReady(s->socket, false, *hooks.abort, DeadlineOf(s->recv_timeout, hooks.end))) {
    s->errnum = 0;  // a time-out or an abort: no answer
    return 0;
  }
  return hooks.recv(s, buffer, size);
}

int AbortableSend(soap* s, const char* data, size_t size) {
  CallHooks& hooks = HooksOf(s);
  if (soap_valid_socket(s->socket) &&
      !WaitReady(s->socket, true, *hooks.abort, DeadlineOf(s->send_timeout, hooks.end))) {
    s->errnum = 0;
    return SOAP_EOF;
  }
  return hooks.send(s, data, size);
}

// A connect waited for in slices, so that an abort ends it; the socket is handed to the
// runtime in blocking mode, as its own connect leaves it. Anything but plain HTTP without a
// proxy goes through the runtime's own connect.
SOAP_SOCKET AbortableOpen(soap* s, const char* endpoint, const char* host, int port) {
  CallHooks& hooks = HooksOf(s);
  if (std::strncmp(endpoint, "http://", 7) != 0 || s->proxy_host != nullptr)
    return hooks.open(s, endpoint, host, port);
  const Clock::time_point deadline = DeadlineOf(s->connect_timeout, hooks.end);
  const int timeoutMs =
      deadline == Clock::time_point::max()
          ? -1
          : static_cast<int>(std::max<long long>(
                0, std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now())
                       .count()));
  const net::ConnectResult connected =
      net::ConnectCancellable(host, port, timeoutMs, *hooks.abort, kAbortSliceMs);
  if (connected.status == net::ConnectStatus::HostNotFound) {
    soap_set_receiver_error(s, "Host not found", "getaddrinfo failed in the connect",
                            SOAP_TCP_ERROR);
    return SOAP_INVALID_SOCKET;
  }
  if (connected.status != net::ConnectStatus::Connected) {
    s->errnum = connected.code;
    hooks.connectError = connected.error;
    soap_set_receiver_error(s, hooks.connectError.c_str(), "connect failed", SOAP_TCP_ERROR);
    return SOAP_INVALID_SOCKET;
  }
  return static_cast<SOAP_SOCKET>(connected.socket);
}

template <class Request, class Response>
std::string Invoke(int (Proxy::*operation)(const char*, const char*, Request*, Response&),
                   const std::string& endpoint, const std::string& document,
                   const AbortFlag& abort) {
  if (abort) return std::string();
  NamespaceTable table;
  auto proxy = std::make_unique<Proxy>(SOAP_C_UTFSTRING);
  soap_set_namespaces(proxy.get(), table.Data());
  // Connect, send and receive wait in slices that watch the abort flag.
  CallHooks hooks;
  hooks.abort = &abort;
  const int total = g_totalTimeout;
  hooks.end = total > 0 ? Clock::now() + std::chrono::seconds(total) : Clock::time_point::max();
  hooks.open = proxy->fopen;
  hooks.send = proxy->fsend;
  hooks.recv = proxy->frecv;
  proxy->user = &hooks;
  proxy->fopen = &AbortableOpen;
  proxy->fsend = &AbortableSend;
  proxy->frecv = &AbortableRecv;
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

std::string CPlatformSoapClient::Login(const std::string& endpoint, const std::string& document,
                                       const AbortFlag& abort) {
  return Invoke<_ns1__login, _ns1__loginResponse>(&Proxy::login, endpoint, document, abort);
}

std::string CPlatformSoapClient::LoginOut(const std::string& endpoint, const std::string& document,
                                          const AbortFlag& abort) {
  return Invoke<_ns1__loginOut, _ns1__loginOutResponse>(&Proxy::loginOut, endpoint, document,
                                                        abort);
}

const AbortFlag& CPlatformSoapClient::NeverAborted() {
  static const AbortFlag never{false};
  return never;
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
