#pragma once
// The eight workstation checks of the diagnosis. Each returns an outcome code; the
// diagnosis page turns it into a row with DiagnosisRowFor (DiagnosisRow.h).
//
// Worker thread: the checks block (network, folder walk) and run one after another on
// the diagnosis worker. One object is used by one thread at a time.
#include <array>
#include <atomic>
#include <functional>
#include <string>
#include <vector>

#include "client/base/RequestResult.h"
#include "client/diagnosis/DiagnosisRules.h"
#include "platform/Printers.h"

class CDiagnosisChecks {
 public:
  static constexpr int kCheckCount = 8;

  // Check 4: the client's update check (0 current, 1 upgrade required, 2 upgrade
  // recommended, -1 no answer).
  using UpdateCheck = std::function<int()>;
  // Check 8: the printers of the workstation.
  using PrinterSource = std::function<std::vector<plat::PrinterInfo>()>;

  // The update check and the printer list of the system.
  CDiagnosisChecks();
  // Empty functions fall back to the system's.
  CDiagnosisChecks(UpdateCheck updateCheck, PrinterSource printers);

  // Runs check 1 to 8; an unknown number gives -1.
  int Run(int check);

  // 1: 0 when both "NetWork" test points answer, else -1.
  int CheckNetwork();
  // 2: 0 both "VPN" servers answer, 2 "Telcom" only, 1 "Union" only, -1 neither.
  int CheckServers();
  // 3: 0 the local file list equals the server's, -2 it differs, -1 no server list.
  int CheckCompleteness();
  // 4: the update check's result.
  int CheckVersion();
  // 5: 0 the finance control is registered, else -1.
  int CheckFinanceControl();
  // 6: fills the software slots from the Uninstall entries; returns how many are filled.
  int CheckOtherSoftware();
  // 7: 0 the browser version is acceptable, else -1.
  int CheckBrowser();
  // 8: 0 a supported printer is present, else -1.
  int CheckPrinter();

  // Any thread: ends the web requests of checks 1 to 3 in progress and makes later ones
  // fail at once, for a run that must end (its page is closing). Checks already running
  // are otherwise never interrupted.
  void Abort() { *m_abort = true; }
  // Watches flag (which must outlive the checks) instead of its own.
  void UseAbortFlag(AbortFlag& flag) { m_abort = &flag; }

  // The status of the last check's exchange with a server (checks 1 to 4): ok, no answer or
  // unusable answer, with its reason (also logged). Ok for the local checks 5 to 8.
  const RequestResult& LastResult() const { return m_lastResult; }

  // Filled by CheckOtherSoftware: "name version" of the last entry of each kind, or "".
  const SoftwareSlots& Slots() const { return m_slots; }

 private:
  UpdateCheck m_updateCheck;
  PrinterSource m_printers;
  SoftwareSlots m_slots;
  AbortFlag m_ownAbort{false};
  AbortFlag* m_abort = &m_ownAbort;
  RequestResult m_lastResult;
};
