#include "platform/Printers.h"

#include <cups/cups.h>

namespace plat {

std::vector<PrinterInfo> ListPrinters() {
  std::vector<PrinterInfo> printers;
  cups_dest_t* dests = nullptr;
  int count = cupsGetDests(&dests);
  for (int i = 0; i < count; ++i) {
    const cups_dest_t& dest = dests[i];
    // Instances are saved option sets of a queue, not printers of their own.
    if (dest.instance != nullptr || dest.name == nullptr) continue;
    PrinterInfo info;
    info.name = dest.name;
    if (const char* text = cupsGetOption("printer-info", dest.num_options, dest.options))
      info.description = text;
    printers.push_back(std::move(info));
  }
  cupsFreeDests(count, dests);
  return printers;
}

}  // namespace plat
