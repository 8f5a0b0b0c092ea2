#pragma once
// The product's own modal message box: the standard button sets and icons, extra buttons,
// per-button labels, a countdown that presses the default button or unlocks the buttons, and
// an optional don't-show-again check box whose answer is remembered in the profile.
#include <QDialog>
#include <QIcon>
#include <QMap>
#include <QString>
#include <memory>
#include <vector>

#include "controls/MessageBoxProfile.h"

class QAbstractButton;
class QCheckBox;
class QLabel;
class QPushButton;

class CMessageBoxDialog : public QDialog {
  Q_OBJECT

 public:
  // Button ids.
  enum ButtonId {
    kIdOk = 1,
    kIdCancel = 2,
    kIdAbort = 3,
    kIdRetry = 4,
    kIdIgnore = 5,
    kIdYes = 6,
    kIdNo = 7,
    kIdHelp = 9,
    kIdTryAgain = 10,
    kIdContinue = 11,
    kIdYesToAll = 14,
    kIdNoToAll = 15,
    kIdSkip = 16,
    kIdSkipAll = 17,
    kIdIgnoreAll = 18,
    kIdCheckBox = 19,
  };

  // Flags (button set, icon, default button and options).
  static constexpr unsigned kOk = 0x0, kOkCancel = 0x1, kAbortRetryIgnore = 0x2, kYesNoCancel = 0x3,
                            kYesNo = 0x4, kRetryCancel = 0x5, kCancelTryContinue = 0x6,
                            kContinueAbort = 0x7, kSkipSkipAllCancel = 0x8,
                            kIgnoreIgnoreAllCancel = 0x9;
  static constexpr unsigned kTypeMask = 0x0F;
  static constexpr unsigned kIconStop = 0x10, kIconQuestion = 0x20, kIconExclamation = 0x30,
                            kIconInformation = 0x40, kIconMask = 0xF0;
  static constexpr unsigned kDefMask = 0xF00;
  static constexpr unsigned kSystemModal = 0x1000, kHelp = 0x4000, kSetForeground = 0x10000,
                            kTopmost = 0x40000, kDontDisplayAgain = 0x1000000,
                            kDontAskAgain = 0x2000000, kYesToAll = 0x4000000, kNoToAll = 0x8000000,
                            kNoSound = 0x20000000;

  static constexpr int kCountdownTimerId = 2201;
  static constexpr const char* kProfileSection = "MessageBoxes";

  // `title` empty: the application's name.
  CMessageBoxDialog(QWidget* parent, const QString& message, const QString& title = QString(),
                    unsigned flags = kOk, int helpId = 0);
  ~CMessageBoxDialog() override;

  void SetButtonLabel(int buttonId, const QString& text);
  void SetTimeout(int seconds, bool disableUntilTimeout = false);
  void SetCustomIcon(const QIcon& icon);

  // Shows the box and returns the id of the button that ended it. With a check-box flag and a
  // remembered answer, returns that answer at once without showing anything.
  int DoModal();

  // Sets up the window without entering a modal loop (DoModal calls it; tests and the gallery
  // use it to look at a box).
  void Prepare();

  // One tick of the countdown: the timer calls it once a second.
  void CountdownTick();

  // Ends the box with `id`, remembering it first when the check box is ticked.
  void EndWith(int id);

  // Read access for callers and tests.
  const std::vector<int>& ButtonIds() const { return m_buttonIds; }
  int DefaultId() const { return m_defaultId; }
  int CancelId() const { return m_cancelId; }
  int SecondsLeft() const { return m_timeout; }
  QPushButton* Button(int id) const;
  QCheckBox* CheckBox() const { return m_checkBox; }
  QString ButtonText(int id) const;

  // The remembered-answer key: the help id, or for help id 0 the sum over the message's GBK
  // bytes of signed byte value times position (from 0), both written in decimal.
  static QString RememberedAnswerKey(int helpId, const QString& message);
  // Default label of a button id from the string table; empty for an unknown id.
  static QString StandardButtonText(int id);
  // Replaces the profile where answers are remembered (default: an INI file under the
  // program directory).
  static void SetProfile(std::shared_ptr<IMessageBoxProfile> profile);
  static std::shared_ptr<IMessageBoxProfile> Profile();
  // Forgets every remembered answer.
  static void ResetRememberedAnswers();

  // Escape and the close command: ends with the cancel id when there is one.
  void reject() override;

 signals:
  // The Help button was pressed; carries the box's help id.
  void helpRequested(int helpId);

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  void timerEvent(QTimerEvent* event) override;

 private:
  void BuildButtonList();
  void CreateControls();
  QIcon ChosenIcon() const;
  void SetControlsEnabled(bool enabled);
  void UpdateDefaultLabel();
  QString LabelOf(int id) const;
  bool HasCheckBox() const { return (m_flags & (kDontDisplayAgain | kDontAskAgain)) != 0; }
  bool Locked() const { return m_disableUntilTimeout && m_timeout > 0; }

  QString m_message;
  unsigned m_flags;
  int m_helpId;
  QIcon m_customIcon;
  int m_timeout = 0;
  bool m_disableUntilTimeout = false;
  std::vector<int> m_buttonIds;
  QMap<int, QString> m_labels;
  int m_defaultId = -1;
  int m_cancelId = -1;
  QString m_key;
  bool m_prepared = false;
  int m_timerId = 0;
  QMap<int, QPushButton*> m_buttons;
  QCheckBox* m_checkBox = nullptr;
  QLabel* m_iconLabel = nullptr;
  QLabel* m_textLabel = nullptr;
};
