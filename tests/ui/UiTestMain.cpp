// GoogleTest main of the widget tests: a QApplication (offscreen unless the environment says
// otherwise) named as the program, with the product's font substitutions.
#include <gtest/gtest.h>

#include <QApplication>

#include "ui/MessageBoxAnswers.h"

#include "controls/SkinFonts.h"

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("Orvanta"));
  InstallFontSubstitutions();
  // No message box ever waits for a user: each is recorded and answered (a test sets its
  // own answers for the boxes it looks at).
  orvtest::BoxAnswers boxes;
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
