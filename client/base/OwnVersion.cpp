#include "client/base/OwnVersion.h"

#include <cstdio>
#include <fstream>
#include <optional>

#include "platform/ProgramDir.h"

namespace {

// One to four dot-separated numbers of up to nine digits, nothing else (trailing blanks
// and a line end allowed). Missing parts are 0.
std::optional<std::string> FourPartVersion(const std::string& text) {
  long parts[4] = {0, 0, 0, 0};
  size_t at = 0;
  int count = 0;
  while (count < 4) {
    size_t digits = 0;
    long value = 0;
    while (at < text.size() && text[at] >= '0' && text[at] <= '9' && digits < 10) {
      value = value * 10 + (text[at] - '0');
      ++at;
      ++digits;
    }
    if (digits == 0 || digits > 9) return std::nullopt;
    parts[count++] = value;
    if (at < text.size() && text[at] == '.') {
      ++at;
      continue;
    }
    break;
  }
  for (; at < text.size(); ++at)
    if (text[at] != ' ' && text[at] != '\t' && text[at] != '\r' && text[at] != '\n')
      return std::nullopt;
  char out[64];
  std::snprintf(out, sizeof out, "%ld.%ld.%ld.%ld", parts[0], parts[1], parts[2], parts[3]);
  return std::string(out);
}

std::optional<std::string> StampedVersion() {
  std::ifstream in(plat::JoinProgramPath(kVersionStampFile), std::ios::binary);
  if (!in) return std::nullopt;
  std::string line;
  std::getline(in, line);
  return FourPartVersion(line);
}

}  // namespace

std::string GetOwnVersion() {
  if (std::optional<std::string> stamped = StampedVersion()) return *stamped;
  std::optional<std::string> project = FourPartVersion(ORV_VERSION);
  return project ? *project : "0.0.0.0";
}

std::string GetExecutableName() { return "Orvanta.exe"; }
