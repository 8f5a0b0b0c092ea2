#pragma once
// Calls of the platform's account SOAP services through the generated proxy
// AddPointsServiceHttpBindingProxy. One fresh proxy per call; strings pass through the
// runtime unchanged in both directions (UTF-8 string mode), so a document's bytes go out
// exactly as given. No retries. A call gives up when the connection cannot be made within
// the connect time-out or the server stays silent for the I/O time-out, so a server that
// accepts and never answers cannot freeze the login. A raised abort flag ends the call
// within a fraction of a second, whether it is connecting, sending or waiting for the answer.
#include <string>

#include "client/base/RequestResult.h"

class CPlatformSoapClient {
 public:
  // The "out" string of the answer; "" when the answer has none (absent or nil) or the
  // call failed in any way (transport, HTTP, SOAP fault, parse error).
  static std::string Login(const std::string& endpoint, const std::string& document,
                           const AbortFlag& abort = NeverAborted());
  static std::string LoginOut(const std::string& endpoint, const std::string& document,
                              const AbortFlag& abort = NeverAborted());

  // Time-outs of every later call, in seconds (defaults: connect 30, each send/receive 60,
  // the whole exchange 60).
  static void SetTimeouts(int connectSeconds, int ioSeconds, int totalSeconds = 60);

  // URI bound to "ns1": ORVANTA_SOAP_NS1 when set and not empty, else the compiled default.
  static std::string NamespaceUri();

 private:
  static const AbortFlag& NeverAborted();
};
