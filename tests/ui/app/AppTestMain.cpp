// GoogleTest main with a QApplication (offscreen unless the environment says otherwise).
// Every server kind points at a closed loopback port, so the window's workers end at once.
#include <gtest/gtest.h>

#include <QApplication>

#include "ui/MessageBoxAnswers.h"

#include "client/ui/app/KivoAccessibility.h"
#include "support/TestSupport.h"

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  const std::string closed = "127.0.0.1:" + std::to_string(orvtest::ClosedLoopbackPort());
  for (const char* kind :
       {"APP", "WEB", "PORTAL", "OA", "LOG", "DIAGNOSIS", "MESSAGE", "UPDATE", "PUSH"})
    qputenv((std::string("ORVANTA_HOST_") + kind).c_str(), QByteArray::fromStdString(closed));
  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("Orvanta"));
  InstallKivoAccessibility();
  // No message box ever waits for a user: each is recorded and answered (a test sets its
  // own answers for the boxes it looks at).
  orvtest::BoxAnswers boxes;
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
