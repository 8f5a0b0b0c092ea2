#pragma once
// Every message box of the tiles, the pages and the actions is shown through here, so that
// tests can answer a box instead of a user (and read its title, text and buttons).
#include <QString>

#include <functional>

class CMessageBoxDialog;
class QWidget;

using MessageBoxRunner = std::function<int(CMessageBoxDialog& box)>;

// Runs the box modally (or through the runner set for tests); the id of the chosen button.
int RunMessageBox(CMessageBoxDialog& box);
// Replaces the modal run; an empty runner restores it.
void SetMessageBoxRunner(MessageBoxRunner runner);

// A plain OK box with `text`; `title` empty gives the application's name.
int ShowMessageText(QWidget* parent, const QString& text, const QString& title = QString());
