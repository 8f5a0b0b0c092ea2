#pragma once
// The printers the workstation can print to: local queues and connected ones.
#include <string>
#include <vector>

namespace plat {

struct PrinterInfo {
  std::string name;         // queue name
  std::string description;  // the queue's human-readable description ("printer-info"); may be ""
};

// Every printer known to the printing system; empty when there is none or the
// printing system cannot be asked.
std::vector<PrinterInfo> ListPrinters();

}  // namespace plat
