#include "client/ui/app/CKivoApp.h"

#include <QApplication>

#include "client/base/CSingleInstance.h"
#include "client/base/CThreadLog.h"
#include "client/base/UserSession.h"
#include "client/ui/app/CKivoDlg.h"
#include "client/ui/app/KivoAccessibility.h"
#include "controls/AtSpiExtension.h"
#include "controls/SkinFonts.h"

bool CKivoApp::PublishWindow(CSingleInstance& guard, CKivoDlg& window) {
  // Listener thread: the window is restored on its own thread, through its inbox, which
  // drops the request once the window is gone.
  std::shared_ptr<shell::Inbox> inbox = window.SharedInbox();
  CKivoDlg* target = &window;
  return guard.Publish([inbox, target] { inbox->Post([target] { target->RestoreAndRaise(); }); });
}

int CKivoApp::Run(int argc, char** argv) {
  // One client per user session. The check comes before anything is shown: a second
  // start waits until the first has published its window (also while the first is still
  // initialising), asks it to come forward, shows nothing and ends; when the first does not
  // answer in time, main() says so.
  CSingleInstance guard;
  if (!guard.Check())
    return guard.Find(CSingleInstance::kSecondStartWaitMs) ? 0
                                                           : CSingleInstance::kNotAnsweringExitCode;

  // Preparing the process. What the Windows client does here and what stands in for it:
  // - ActiveX control hosting (for the banner's Flash object): nothing; a ".SWF" banner
  //   gets a blank child window and nothing is played.
  // - Winsock start-up: nothing; POSIX sockets need no initialisation.
  // - GDI+ start-up and shutdown: the QApplication, whose painter draws and whose image
  //   readers load PNG and BMP.
  // - The "chs" locale (GBK multibyte strings): nothing; text is UTF-8 inside the program
  //   and converted to GBK only where files and servers expect it.
  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("Orvanta"));
  QApplication::setQuitOnLastWindowClosed(false);
  InstallFontSubstitutions();
  InstallKivoAccessibility();
  ExtendAtSpiBridge();
  CThreadLog::Instance();

  {
    CKivoDlg window(CurrentSession());
    if (window.OnInitDialog([&] { PublishWindow(guard, window); })) {
      // The window's life is the program's: the application's loop runs until it ends.
      // (Not QDialog::exec, whose application modality would block the message popup.)
      QObject::connect(&window, &QDialog::finished, &app, &QApplication::quit);
      window.show();
      app.exec();
    } else {
      CThreadLog::Instance()->Write("Orvanta: skin bitmaps missing under image\\, ending");
    }
    window.Shutdown();
  }
  CThreadLog::Instance()->Flush();
  guard.Close();
  return 0;
}
