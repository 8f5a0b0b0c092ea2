#include "updater/COrvliftApp.h"

#include <QApplication>
#include <cstdlib>
#include <cstring>

#include "controls/AtSpiExtension.h"
#include "controls/SkinFonts.h"
#include "platform/SingleInstance.h"
#include "updater/COrvliftDlg.h"

int COrvliftApp::Run(int argc, char** argv) {
  plat::InstanceLock instance(kInstanceName);
  if (!instance.TryAcquire()) return 0;  // another updater is running

  QApplication app(argc, argv);
  InstallFontSubstitutions();
  ExtendAtSpiBridge();  // its progress bar offers no increase/decrease actions
  const char* autoClose = std::getenv("ORVLIFT_AUTOCLOSE");
  {
    COrvliftDlg dialog(autoClose && std::strcmp(autoClose, "1") == 0);
    dialog.OnInitDialog();
    dialog.exec();
  }
  instance.Close();
  return 0;
}
