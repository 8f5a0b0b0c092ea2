#include "client/base/ServerConfig.h"

#include <cstdlib>
#include <string_view>

namespace {

struct KindInfo {
  ServerKind kind;
  const char* name;
  const char* scheme;
  int port;
  const char* defaultHost;
};

constexpr KindInfo kKinds[] = {
    {ServerKind::App, "APP", "http", 8888, ORV_HOST_APP},
    {ServerKind::Web, "WEB", "http", 80, ORV_HOST_WEB},
    {ServerKind::Portal, "PORTAL", "http", 80, ORV_HOST_PORTAL},
    {ServerKind::Oa, "OA", "http", 80, ORV_HOST_OA},
    {ServerKind::Log, "LOG", "http", 8090, ORV_HOST_LOG},
    {ServerKind::Diagnosis, "DIAGNOSIS", "http", 9080, ORV_HOST_DIAGNOSIS},
    {ServerKind::Message, "MESSAGE", "http", 80, ORV_HOST_MESSAGE},
    {ServerKind::Update, "UPDATE", "ftp", 21, ORV_HOST_UPDATE},
};

const KindInfo& Info(ServerKind kind) {
  for (const auto& k : kKinds)
    if (k.kind == kind) return k;
  return kKinds[0];
}

// Port text of 1 to 65535, else 0.
int ParsePort(std::string_view text) {
  if (text.empty() || text.size() > 5) return 0;
  int port = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return 0;
    port = port * 10 + (c - '0');
  }
  return port <= 65535 ? port : 0;
}

// "host", "host:port", "[v6]" or "[v6]:port". A port that is not a number is ignored.
void SplitHostPort(std::string_view value, std::string& host, int& port) {
  port = 0;
  if (!value.empty() && value.front() == '[') {
    auto close = value.find(']');
    if (close != std::string_view::npos) {
      host = std::string(value.substr(1, close - 1));
      if (close + 1 < value.size() && value[close + 1] == ':')
        port = ParsePort(value.substr(close + 2));
      return;
    }
  }
  auto colon = value.rfind(':');
  if (colon != std::string_view::npos && value.find(':') == colon) {
    host = std::string(value.substr(0, colon));
    port = ParsePort(value.substr(colon + 1));
    return;
  }
  host = std::string(value);
}

int DefaultPort(const std::string& scheme) { return scheme == "ftp" ? 21 : 80; }

}  // namespace

const char* ServerKindName(ServerKind kind) { return Info(kind).name; }

ServerEndpoint GetServerEndpoint(ServerKind kind) {
  const KindInfo& info = Info(kind);
  ServerEndpoint ep{info.scheme, info.defaultHost, info.port};
  std::string variable = std::string("ORVANTA_HOST_") + info.name;
  const char* value = std::getenv(variable.c_str());
  if (value && *value) {
    std::string host;
    int port = 0;
    SplitHostPort(value, host, port);
    if (!host.empty()) ep.host = host;
    if (port != 0) ep.port = port;
  }
  return ep;
}

std::string ServerUrl(ServerKind kind, const std::string& pathAndQuery) {
  ServerEndpoint ep = GetServerEndpoint(kind);
  std::string host = ep.host.find(':') != std::string::npos ? "[" + ep.host + "]" : ep.host;
  std::string url = ep.scheme + "://" + host;
  if (ep.port != DefaultPort(ep.scheme)) url += ":" + std::to_string(ep.port);
  return url + pathAndQuery;
}

std::string DefaultPushServerHost() {
  // The push server is reached through the message server's host unless the environment
  // names another one (tests, the local stand-in platform).
  const char* value = std::getenv("ORVANTA_HOST_PUSH");
  if (value && *value) {
    std::string host;
    int port = 0;
    SplitHostPort(value, host, port);
    if (!host.empty()) return host;
  }
  return GetServerEndpoint(ServerKind::Message).host;
}
