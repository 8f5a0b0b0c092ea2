#include "client/base/OwnVersion.h"

#include <cstdio>
#include <cstdlib>

std::string GetOwnVersion() {
  // The project version has up to four dot-separated parts; missing ones are 0.
  int parts[4] = {0, 0, 0, 0};
  const char* p = ORV_VERSION;
  for (int i = 0; i < 4 && *p; ++i) {
    parts[i] = std::atoi(p);
    while (*p && *p != '.') ++p;
    if (*p == '.') ++p;
  }
  char text[64];
  std::snprintf(text, sizeof text, "%d.%d.%d.%d", parts[0], parts[1], parts[2], parts[3]);
  return text;
}

std::string GetExecutableName() { return "Orvanta.exe"; }
