#pragma once
// The one way the window, the pages, the tiles and the dialogs show a message box. The user
// answers it through the box's own modal run, unless an answerer is set: widget tests set
// one to answer for the user (and read the box's title, text and buttons). GUI thread only.
#include <QString>

class CMessageBoxDialog;
class QWidget;

namespace shell {

// Answers message boxes in place of the user.
class IMessageBoxes {
 public:
  virtual ~IMessageBoxes() = default;
  // `box` is laid out with its buttons but not shown; the id of the button chosen.
  virtual int Answer(CMessageBoxDialog& box) = 0;
};

// Sets the answerer of every box from now on; null gives the boxes back to the user. The
// answerer set before.
IMessageBoxes* SetMessageBoxes(IMessageBoxes* answerer);

// Shows `box` modally (or hands it to the answerer); the id of the chosen button.
int RunMessageBox(CMessageBoxDialog& box);
// A box with `text`, `caption` (empty: the application's name) and CMessageBoxDialog
// `flags` (0: one OK button); the id of the chosen button.
int ShowMessage(QWidget* parent, const QString& text, const QString& caption = QString(),
                unsigned flags = 0);

}  // namespace shell
