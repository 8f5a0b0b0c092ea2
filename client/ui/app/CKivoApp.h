#pragma once
// The client's application object: admits one client per user session, prepares the
// process, runs the main window until it ends, and tears it down. The session record
// (UserSession) is the process's CurrentSession().
//
// Environment (besides the platform's): ORVANTA_HOST_<KIND> selects the servers,
// ORVANTA_REGISTRY_ROOT the registry, XDG_RUNTIME_DIR the single-instance lock's folder.
#include <functional>

class CSingleInstance;
class CKivoDlg;

class CKivoApp {
 public:
  // The process's exit code: 0 when the window ended, another client was brought forward
  // or the skin is incomplete; CSingleInstance::kNotAnsweringExitCode when another client
  // holds the lock but did not answer in time.
  int Run(int argc, char** argv);

  // First instance, once its window exists: a later start asks the window to restore and
  // raise itself (on the GUI thread). False when the publication failed.
  static bool PublishWindow(CSingleInstance& guard, CKivoDlg& window);
};
