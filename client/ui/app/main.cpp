// The Orvanta program: the client of the platform. One instance per user session; see
// CKivoApp.h for its start-up and environment.
#include <QApplication>
#include <QMessageBox>
#include <QTimer>
#include <cstdio>

#include "client/base/CSingleInstance.h"
#include "client/ui/app/CKivoApp.h"

namespace {

// A second start whose first instance did not answer: the user learns why no window came.
// The box closes by itself after a while, so an unattended start still ends.
void TellFirstInstanceNotAnswering(int argc, char** argv) {
  std::fprintf(stderr, "%s\n", CSingleInstance::kNotAnsweringText);
  QApplication app(argc, argv);
  QMessageBox box(QMessageBox::Warning, QStringLiteral("Orvanta"),
                  QString::fromUtf8(CSingleInstance::kNotAnsweringText), QMessageBox::Ok);
  QTimer::singleShot(30000, &box, &QMessageBox::reject);
  box.exec();
}

}  // namespace

int main(int argc, char** argv) {
  int code = 0;
  {
    CKivoApp app;
    code = app.Run(argc, argv);
  }
  if (code == CSingleInstance::kNotAnsweringExitCode) TellFirstInstanceNotAnswering(argc, argv);
  return code;
}
