#include "client/diagnosis/DiagnosisRules.h"

#include <charconv>

namespace {

struct SoftwareKind {
  const char* first;
  const char* second;
};
// Slot order is the order of the products in the software report.
constexpr SoftwareKind kSoftwareKinds[kSoftwareSlotCount] = {
    {"用友", "U8"},     {"用友", "T6"},     {"用友", "T3"},     {"金蝶", "专业版"},
    {"金蝶", "标准版"}, {"金蝶", "迷你版"}, {"管家婆", "财务"}, {"管家婆", "个人版"},
};

constexpr const char* kSupportedPrinters[] = {
    "Microsoft XPS Document Writer",
    "Microsoft Office Document Image Writer Driver",
    "Microsoft Shared Fax Driver",
};

}  // namespace

int ClassifyFinanceSoftware(const std::string& displayName) {
  for (int slot = 0; slot < kSoftwareSlotCount; ++slot) {
    const SoftwareKind& kind = kSoftwareKinds[slot];
    if (displayName.find(kind.first) != std::string::npos &&
        displayName.find(kind.second) != std::string::npos)
      return slot;
  }
  return -1;
}

bool IsBrowserVersionAcceptable(const std::string& version) {
  // Without a "." there is no major part to take.
  const size_t dot = version.find('.');
  if (dot == std::string::npos || dot == 0) return false;
  const std::string major = version.substr(0, dot);
  long value = 0;
  auto [end, ec] = std::from_chars(major.data(), major.data() + major.size(), value);
  if (ec != std::errc() || end != major.data() + major.size()) return false;
  return value > 7;
}

bool HasSupportedPrinter(const std::vector<plat::PrinterInfo>& printers) {
  for (const plat::PrinterInfo& printer : printers)
    for (const char* supported : kSupportedPrinters)
      if (printer.name == supported || printer.description == supported) return true;
  return false;
}
