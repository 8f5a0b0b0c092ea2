#include "client/ui/views/TileMessageBox.h"

#include "controls/CMessageBoxDialog.h"

namespace {
MessageBoxRunner& Runner() {
  static MessageBoxRunner runner;
  return runner;
}
}  // namespace

int RunMessageBox(CMessageBoxDialog& box) {
  if (Runner()) {
    box.Prepare();
    return Runner()(box);
  }
  return box.DoModal();
}

void SetMessageBoxRunner(MessageBoxRunner runner) { Runner() = std::move(runner); }

int ShowMessageText(QWidget* parent, const QString& text, const QString& title) {
  CMessageBoxDialog box(parent, text, title, CMessageBoxDialog::kOk);
  return RunMessageBox(box);
}
