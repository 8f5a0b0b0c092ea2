#include "platform/Printers.h"

#include "platform/win32/WinText.h"

#include <windows.h>
#include <winspool.h>

namespace plat {

// Local printers and the network printers this user is connected to.
std::vector<PrinterInfo> ListPrinters() {
  std::vector<PrinterInfo> out;
  const DWORD flags = PRINTER_ENUM_LOCAL | PRINTER_ENUM_CONNECTIONS;
  DWORD needed = 0, count = 0;
  EnumPrintersW(flags, nullptr, 2, nullptr, 0, &needed, &count);
  if (needed == 0) return out;
  std::vector<BYTE> buf(needed);
  if (!EnumPrintersW(flags, nullptr, 2, buf.data(), needed, &needed, &count)) return out;
  const auto* info = reinterpret_cast<const PRINTER_INFO_2W*>(buf.data());
  for (DWORD i = 0; i < count; ++i) {
    PrinterInfo p;
    if (info[i].pPrinterName) p.name = win::Narrow(info[i].pPrinterName);
    if (info[i].pComment) p.description = win::Narrow(info[i].pComment);
    out.push_back(std::move(p));
  }
  return out;
}

}  // namespace plat
