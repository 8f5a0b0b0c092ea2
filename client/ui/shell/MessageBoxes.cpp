#include "client/ui/shell/MessageBoxes.h"

#include "controls/CMessageBoxDialog.h"

namespace shell {
namespace {
IMessageBoxes* g_answerer = nullptr;
}  // namespace

IMessageBoxes* SetMessageBoxes(IMessageBoxes* answerer) {
  IMessageBoxes* previous = g_answerer;
  g_answerer = answerer;
  return previous;
}

int RunMessageBox(CMessageBoxDialog& box) {
  if (g_answerer) {
    box.Prepare();
    return g_answerer->Answer(box);
  }
  return box.DoModal();
}

int ShowMessage(QWidget* parent, const QString& text, const QString& caption, unsigned flags) {
  CMessageBoxDialog box(parent, text, caption, flags);
  return RunMessageBox(box);
}

}  // namespace shell
