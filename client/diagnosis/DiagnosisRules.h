#pragma once
// The decision rules of the registry and printer checks, apart from where their inputs
// come from.
#include <array>
#include <string>
#include <vector>

#include "platform/Printers.h"

// Slots of the other-finance-software report, in report order.
inline constexpr int kSoftwareSlotCount = 8;
using SoftwareSlots = std::array<std::string, kSoftwareSlotCount>;

// Slot of a finance product by its registry display name (byte-wise, case-sensitive
// substring tests, first match wins); -1 when it is none of the reported products.
int ClassifyFinanceSoftware(const std::string& displayName);

// True when the major part of a browser version (the text before the first "."; a version
// without a "." has none) is a number greater than 7.
bool IsBrowserVersionAcceptable(const std::string& version);

// True when a printer's queue name or its description equals one of the document
// writer drivers the platform's applications print through.
bool HasSupportedPrinter(const std::vector<plat::PrinterInfo>& printers);
