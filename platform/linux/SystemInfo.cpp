#include "platform/SystemInfo.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <linux/if_packet.h>
#include <net/if.h>
#include <netinet/in.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace plat {
namespace {

// Name and dotted IPv4 address of the first interface that is up, not loopback and has
// an IPv4 address.
bool FirstInterface(std::string& name, std::string& ip) {
  ifaddrs* list = nullptr;
  if (getifaddrs(&list) != 0) return false;
  bool found = false;
  for (ifaddrs* a = list; a; a = a->ifa_next) {
    if (!a->ifa_addr || a->ifa_addr->sa_family != AF_INET) continue;
    if (!(a->ifa_flags & IFF_UP) || (a->ifa_flags & IFF_LOOPBACK)) continue;
    char text[INET_ADDRSTRLEN] = {};
    auto* in = reinterpret_cast<sockaddr_in*>(a->ifa_addr);
    if (!inet_ntop(AF_INET, &in->sin_addr, text, sizeof text)) continue;
    name = a->ifa_name;
    ip = text;
    found = true;
    break;
  }
  freeifaddrs(list);
  return found;
}

}  // namespace

bool IsWow64Process() {
  const char* v = std::getenv("ORVANTA_WOW64");
  return v && std::strcmp(v, "1") == 0;
}

std::string LocalIpAddress() {
  std::string name, ip;
  return FirstInterface(name, ip) ? ip : std::string();
}

std::string LocalMacAddress() {
  std::string name, ip;
  if (!FirstInterface(name, ip)) return {};
  ifaddrs* list = nullptr;
  if (getifaddrs(&list) != 0) return {};
  std::string mac;
  for (ifaddrs* a = list; a; a = a->ifa_next) {
    if (!a->ifa_addr || a->ifa_addr->sa_family != AF_PACKET || name != a->ifa_name) continue;
    auto* ll = reinterpret_cast<sockaddr_ll*>(a->ifa_addr);
    if (ll->sll_halen != 6) continue;
    char text[13] = {};
    for (int i = 0; i < 6; ++i) std::snprintf(text + 2 * i, 3, "%02X", ll->sll_addr[i]);
    mac = text;
    break;
  }
  freeifaddrs(list);
  return mac;
}

std::string SystemErrorText(int code) {
  char buf[256];
  const char* text = strerror_r(code, buf, sizeof buf);
  if (!text) return {};
  std::string out = text;
  // glibc's fallback for codes it does not know.
  if (out.rfind("Unknown error", 0) == 0) return {};
  return out;
}

}  // namespace plat
