#include "client/diagnosis/CDiagnosisChecks.h"

#include <utility>

#include "client/base/CIniFile.h"
#include "client/base/MachineRegistry.h"
#include "client/base/OwnVersion.h"
#include "client/diagnosis/CompletenessList.h"
#include "client/diagnosis/ProbeAddress.h"
#include "client/update/UpdateCheck.h"
#include "platform/ProgramDir.h"
#include "platform/Registry.h"

namespace {

constexpr const char* kConfigFile = "\\image\\config.ini";
constexpr const char* kFinanceControlKey = "SOFTWARE\\Classes\\FINDAPPPATH.FindAppPathCtrl.1";
constexpr const char* kBrowserKey = "Microsoft\\Internet Explorer";

std::string ConfigValue(const char* section, const char* key) {
  return CIniFile(kConfigFile).ReadString(section, key);
}

std::string WithoutTrailingBackslash(std::string path) {
  while (!path.empty() && path.back() == '\\') path.pop_back();
  return path;
}

}  // namespace

CDiagnosisChecks::CDiagnosisChecks() : CDiagnosisChecks(nullptr, nullptr) {}

CDiagnosisChecks::CDiagnosisChecks(UpdateCheck updateCheck, PrinterSource printers)
    : m_updateCheck(updateCheck ? std::move(updateCheck) : UpdateCheck(&CheckForUpdate)),
      m_printers(printers ? std::move(printers) : PrinterSource(&plat::ListPrinters)) {}

int CDiagnosisChecks::Run(int check) {
  m_lastResult = RequestResult::Success();
  switch (check) {
    case 1:
      return CheckNetwork();
    case 2:
      return CheckServers();
    case 3:
      return CheckCompleteness();
    case 4:
      return CheckVersion();
    case 5:
      return CheckFinanceControl();
    case 6:
      return CheckOtherSoftware();
    case 7:
      return CheckBrowser();
    case 8:
      return CheckPrinter();
    default:
      return -1;
  }
}

int CDiagnosisChecks::CheckNetwork() {
  // Both points are always probed, in order, even when the first does not answer.
  const bool first =
      ProbeAddress(ConfigValue("NetWork", "TestPoint1"), kProbeConnectTimeoutMs, m_abort);
  const bool second =
      ProbeAddress(ConfigValue("NetWork", "TestPoint2"), kProbeConnectTimeoutMs, m_abort);
  m_lastResult = first && second
                     ? RequestResult::Success()
                     : RequestResult::NoAnswer("network check", "a test point did not answer");
  return first && second ? 0 : -1;
}

int CDiagnosisChecks::CheckServers() {
  const bool telcom = ProbeAddress(ConfigValue("VPN", "Telcom"), kProbeConnectTimeoutMs, m_abort);
  const bool union_ = ProbeAddress(ConfigValue("VPN", "Union"), kProbeConnectTimeoutMs, m_abort);
  m_lastResult = telcom && union_
                     ? RequestResult::Success()
                     : RequestResult::NoAnswer("server check", "a platform server did not answer");
  if (telcom && union_) return 0;
  if (telcom) return 2;
  if (union_) return 1;
  return -1;
}

int CDiagnosisChecks::CheckCompleteness() {
  const std::string local = CCompletenessList::Rebuild(plat::ProgramDirectory());
  const std::string url = ConfigValue("Completeness", "ServerCompleteness") + GetOwnVersion();
  const HttpFetchResult answer = HttpFetch(url, m_abort);
  if (!answer.ok || answer.status != 200) {
    m_lastResult = answer.ok ? RequestResult::Unusable("completeness check",
                                                       "status " + std::to_string(answer.status))
                             : RequestResult::NoAnswer("completeness check", "no file list");
    return -1;
  }
  m_lastResult = RequestResult::Success();
  return CCompletenessList::Compare(local, answer.body);
}

int CDiagnosisChecks::CheckVersion() {
  const int code = m_updateCheck();
  m_lastResult = code == -1 ? RequestResult::NoAnswer("version check", "no usable update answer")
                            : RequestResult::Success();
  return code;
}

int CDiagnosisChecks::CheckFinanceControl() {
  return plat::reg::KeyExists(kFinanceControlKey) ? 0 : -1;
}

int CDiagnosisChecks::CheckOtherSoftware() {
  m_slots.fill(std::string());
  const std::string uninstall = WithoutTrailingBackslash(MachineSoftwareKey(kUninstallPath));
  for (const std::string& entry : plat::reg::EnumSubKeys(uninstall)) {
    const std::string path = std::string(kUninstallPath) + entry;
    const std::string name = ReadMachineValue(path, "DisplayName");
    const int slot = ClassifyFinanceSoftware(name);
    if (slot < 0) continue;
    m_slots[slot] = name + " " + ReadMachineValue(path, "DisplayVersion");
  }
  int found = 0;
  for (const std::string& slot : m_slots)
    if (!slot.empty()) ++found;
  return found;
}

int CDiagnosisChecks::CheckBrowser() {
  return IsBrowserVersionAcceptable(ReadMachineValue(kBrowserKey, "Version")) ? 0 : -1;
}

int CDiagnosisChecks::CheckPrinter() {
  const std::vector<plat::PrinterInfo> printers = m_printers();
  if (printers.empty()) return -1;
  return HasSupportedPrinter(printers) ? 0 : -1;
}
