#include "updater/COrvliftApp.h"

#include <QApplication>
#include <cstdlib>
#include <cstring>

#include "platform/SingleInstance.h"
#include "updater/COrvliftDlg.h"
#ifdef ORVLIFT_HAVE_CONTROLS
#include "controls/SkinFonts.h"
#endif

int COrvliftApp::Run(int argc, char** argv) {
  plat::InstanceLock instance(kInstanceName);
  if (!instance.TryAcquire()) return 0;  // another updater is running

  QApplication app(argc, argv);
#ifdef ORVLIFT_HAVE_CONTROLS
  InstallFontSubstitutions();
#endif
  const char* autoClose = std::getenv("ORVLIFT_AUTOCLOSE");
  {
    COrvliftDlg dialog(autoClose && std::strcmp(autoClose, "1") == 0);
    dialog.OnInitDialog();
    dialog.exec();
  }
  instance.Close();
  return 0;
}
