#include "platform/SystemInfo.h"

#include "platform/win32/WinText.h"

// winsock2 before windows.h (iphlpapi pulls it in)
#include <winsock2.h>
// after winsock2.h
#include <iphlpapi.h>
#include <windows.h>
#include <ws2tcpip.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace plat {
namespace {

// Adapter list of IPv4 interfaces; the first one that is up, not loopback and has an address.
bool FirstInterface(std::string& ip, std::string& mac) {
  ULONG size = 16 * 1024;
  std::vector<unsigned char> buf;
  ULONG rc = ERROR_BUFFER_OVERFLOW;
  for (int attempt = 0; attempt < 3 && rc == ERROR_BUFFER_OVERFLOW; ++attempt) {
    buf.resize(size);
    rc = GetAdaptersAddresses(
        AF_INET, GAA_FLAG_SKIP_ANYCAST | GAA_FLAG_SKIP_MULTICAST | GAA_FLAG_SKIP_DNS_SERVER,
        nullptr, reinterpret_cast<IP_ADAPTER_ADDRESSES*>(buf.data()), &size);
  }
  if (rc != NO_ERROR) return false;
  for (auto* a = reinterpret_cast<IP_ADAPTER_ADDRESSES*>(buf.data()); a; a = a->Next) {
    if (a->OperStatus != IfOperStatusUp || a->IfType == IF_TYPE_SOFTWARE_LOOPBACK) continue;
    for (auto* u = a->FirstUnicastAddress; u; u = u->Next) {
      if (u->Address.lpSockaddr->sa_family != AF_INET) continue;
      char text[INET_ADDRSTRLEN] = {};
      auto* in = reinterpret_cast<sockaddr_in*>(u->Address.lpSockaddr);
      if (!inet_ntop(AF_INET, &in->sin_addr, text, sizeof text)) continue;
      ip = text;
      mac.clear();
      if (a->PhysicalAddressLength == 6) {
        char hex[13] = {};
        for (int i = 0; i < 6; ++i) std::snprintf(hex + 2 * i, 3, "%02X", a->PhysicalAddress[i]);
        mac = hex;
      }
      return true;
    }
  }
  return false;
}

}  // namespace

// The described program is a 32-bit one: on 64-bit Windows it runs under WOW64 and reads the
// registry's 32-bit branch. A 32-bit build asks the system; a 64-bit build stands for that
// program on 64-bit Windows. ORVANTA_WOW64 ("1" or "0") overrides either.
bool IsWow64Process() {
  if (const char* v = std::getenv("ORVANTA_WOW64"); v && *v) return std::strcmp(v, "1") == 0;
#if defined(_WIN64)
  return true;
#else
  BOOL wow = FALSE;
  return ::IsWow64Process(GetCurrentProcess(), &wow) && wow;
#endif
}

std::string LocalIpAddress() {
  std::string ip, mac;
  return FirstInterface(ip, mac) ? ip : std::string();
}

std::string LocalMacAddress() {
  std::string ip, mac;
  return FirstInterface(ip, mac) ? mac : std::string();
}

std::string SystemErrorText(int code) {
  // The C library's texts for errno values (the callers pass errno-style codes).
  const char* text = std::strerror(code);
  if (!text) return {};
  std::string out = text;
  if (out.rfind("Unknown error", 0) == 0) return {};
  return out;
}

}  // namespace plat
