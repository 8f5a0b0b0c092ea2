#pragma once
// The updater's application: one updater at a time, then its dialog; the program ends when
// the dialog closes.
//
// Environment:
//   ORVLIFT_AUTOCLOSE=1  the dialog closes by itself wherever it would otherwise wait for
//                        the user to close it (registry damaged, download failed, no
//                        uninstaller, installer not started): for tests and unattended runs.
class COrvliftApp {
 public:
  static constexpr const char* kInstanceName = "{F959E702-C51A-41c9-9592-F49D9A1F40A0}";

  // The process's exit code: 0 in every case (another updater running, the installer
  // started, or the dialog closed).
  int Run(int argc, char** argv);
};
