#include "controls/CMessageBoxDialog.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QStyle>
#include <QTimer>
#include <QTimerEvent>
#include <QVBoxLayout>
#include <algorithm>
#include <cstring>

#include "controls/DialogUnits.h"
#include "platform/Encoding.h"

namespace {

std::shared_ptr<IMessageBoxProfile>& ProfileSlot() {
  static std::shared_ptr<IMessageBoxProfile> profile;
  return profile;
}

// GBK bytes of `text` (the platform's one conversion); a character GBK cannot hold becomes
// '?'.
std::string ToGbk(const QString& text) {
  const QByteArray utf8 = text.toUtf8();
  return plat::Utf8ToGbk(std::string_view(utf8.constData(), static_cast<size_t>(utf8.size())));
}

}  // namespace

CMessageBoxDialog::CMessageBoxDialog(QWidget* parent, const QString& message, const QString& title,
                                     unsigned flags, int helpId)
    : QDialog(parent), m_message(message), m_flags(flags), m_helpId(helpId) {
  setWindowTitle(title.isEmpty() ? QApplication::applicationName() : title);
}

CMessageBoxDialog::~CMessageBoxDialog() = default;

QString CMessageBoxDialog::StandardButtonText(int id) {
  switch (id) {
    case kIdOk:
      return QStringLiteral("确定");
    case kIdCancel:
      return QStringLiteral("取消");
    case kIdAbort:
      return QStringLiteral("终止");
    case kIdRetry:
      return QStringLiteral("重试");
    case kIdIgnore:
      return QStringLiteral("忽略");
    case kIdYes:
      return QStringLiteral("是");
    case kIdNo:
      return QStringLiteral("否");
    case kIdHelp:
      return QStringLiteral("帮助");
    case kIdTryAgain:
      return QStringLiteral("重试");
    case kIdContinue:
      return QStringLiteral("继续");
    case kIdYesToAll:
      return QStringLiteral("全是");
    case kIdNoToAll:
      return QStringLiteral("全否");
    case kIdSkip:
      return QStringLiteral("跳过");
    case kIdSkipAll:
      return QStringLiteral("跳过所有");
    case kIdIgnoreAll:
      return QStringLiteral("忽略所有");
    default:
      return QString();
  }
}

void CMessageBoxDialog::SetButtonLabel(int buttonId, const QString& text) {
  m_labels[buttonId] = text;
  if (QPushButton* button = Button(buttonId)) button->setText(text);
}

void CMessageBoxDialog::SetTimeout(int seconds, bool disableUntilTimeout) {
  m_timeout = seconds > 0 ? seconds : 0;
  m_disableUntilTimeout = disableUntilTimeout;
}

void CMessageBoxDialog::SetCustomIcon(const QIcon& icon) { m_customIcon = icon; }

QString CMessageBoxDialog::LabelOf(int id) const {
  auto it = m_labels.find(id);
  return it != m_labels.end() ? *it : StandardButtonText(id);
}

QPushButton* CMessageBoxDialog::Button(int id) const { return m_buttons.value(id, nullptr); }

QString CMessageBoxDialog::ButtonText(int id) const {
  QPushButton* button = Button(id);
  return button ? button->text() : QString();
}

void CMessageBoxDialog::BuildButtonList() {
  m_buttonIds.clear();
  const unsigned set = m_flags & kTypeMask;
  const bool yesToAll = (m_flags & kYesToAll) != 0;
  const bool noToAll = (m_flags & kNoToAll) != 0;
  switch (set) {
    case kOkCancel:
      m_buttonIds = {kIdOk, kIdCancel};
      m_defaultId = kIdOk;
      m_cancelId = kIdCancel;
      break;
    case kAbortRetryIgnore:
      m_buttonIds = {kIdAbort, kIdRetry, kIdIgnore};
      m_defaultId = kIdAbort;
      m_cancelId = -1;
      break;
    case kYesNoCancel:
    case kYesNo:
      m_buttonIds.push_back(kIdYes);
      if (yesToAll) m_buttonIds.push_back(kIdYesToAll);
      m_buttonIds.push_back(kIdNo);
      if (noToAll) m_buttonIds.push_back(kIdNoToAll);
      if (set == kYesNoCancel) m_buttonIds.push_back(kIdCancel);
      m_defaultId = kIdYes;
      m_cancelId = set == kYesNoCancel ? kIdCancel : -1;
      break;
    case kRetryCancel:
      m_buttonIds = {kIdRetry, kIdCancel};
      m_defaultId = kIdRetry;
      m_cancelId = kIdCancel;
      break;
    case kCancelTryContinue:
      m_buttonIds = {kIdCancel, kIdTryAgain, kIdContinue};
      m_defaultId = kIdCancel;
      m_cancelId = kIdCancel;
      break;
    case kContinueAbort:
      m_buttonIds = {kIdContinue, kIdAbort};
      m_defaultId = kIdContinue;
      m_cancelId = -1;
      break;
    case kSkipSkipAllCancel:
      m_buttonIds = {kIdSkip, kIdSkipAll, kIdCancel};
      m_defaultId = kIdSkip;
      m_cancelId = kIdCancel;
      break;
    case kIgnoreIgnoreAllCancel:
      m_buttonIds = {kIdIgnore, kIdIgnoreAll, kIdCancel};
      m_defaultId = kIdIgnore;
      m_cancelId = kIdCancel;
      break;
    default:  // kOk, and any unknown set
      m_buttonIds = {kIdOk};
      m_defaultId = kIdOk;
      m_cancelId = kIdOk;
      break;
  }
  if (m_flags & kHelp) m_buttonIds.push_back(kIdHelp);
  // 0x100 picks the second button of the list, 0x200 the third, ... when it exists.
  const int position = static_cast<int>((m_flags & kDefMask) >> 8);
  if (position >= 1 && position <= 5 && position < static_cast<int>(m_buttonIds.size()))
    m_defaultId = m_buttonIds[position];
}

QIcon CMessageBoxDialog::ChosenIcon() const {
  if (!m_customIcon.isNull()) return m_customIcon;
  switch (m_flags & kIconMask) {
    case kIconStop:
      return style()->standardIcon(QStyle::SP_MessageBoxCritical);
    case kIconQuestion:
      return style()->standardIcon(QStyle::SP_MessageBoxQuestion);
    case kIconExclamation:
      return style()->standardIcon(QStyle::SP_MessageBoxWarning);
    case kIconInformation:
      return style()->standardIcon(QStyle::SP_MessageBoxInformation);
    default:
      return QIcon();
  }
}

void CMessageBoxDialog::CreateControls() {
  setFont(QFont(QStringLiteral("MS Shell Dlg"), 9));
  const DialogUnits du(font());

  auto* root = new QVBoxLayout(this);
  root->setSizeConstraint(QLayout::SetFixedSize);
  root->setContentsMargins(du.X(7), du.Y(7), du.X(7), du.Y(7));
  root->setSpacing(du.Y(7));

  auto* top = new QHBoxLayout;
  top->setSpacing(du.X(7));
  const QIcon icon = ChosenIcon();
  if (!icon.isNull()) {
    m_iconLabel = new QLabel(this);
    const int side = du.X(20) > 32 ? 48 : 32;
    m_iconLabel->setPixmap(icon.pixmap(side, side));
    m_iconLabel->setAlignment(Qt::AlignTop | Qt::AlignHCenter);
    top->addWidget(m_iconLabel, 0, Qt::AlignTop);
  }
  m_textLabel = new QLabel(m_message, this);
  m_textLabel->setTextFormat(Qt::PlainText);
  m_textLabel->setWordWrap(true);
  // As wide as the longest line allows (up to 260 units), so short texts stay on one line.
  int widest = 0;
  for (const QString& line : m_message.split(QLatin1Char('\n')))
    widest = std::max(widest, m_textLabel->fontMetrics().horizontalAdvance(line) + 2);
  m_textLabel->setMinimumWidth(std::clamp(widest, du.X(90), du.X(260)));
  m_textLabel->setMaximumWidth(du.X(260));
  m_textLabel->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  top->addWidget(m_textLabel, 1);
  root->addLayout(top);

  if (HasCheckBox()) {
    m_checkBox = new QCheckBox(
        (m_flags & kDontDisplayAgain) ? QStringLiteral("不再显示") : QStringLiteral("不再询问"),
        this);
    root->addWidget(m_checkBox);
  }

  auto* row = new QHBoxLayout;
  row->setSpacing(du.X(4));
  row->addStretch(1);
  for (int id : m_buttonIds) {
    auto* button = new QPushButton(LabelOf(id), this);
    button->setAutoDefault(false);
    button->setMinimumSize(du.Size(50, 14));
    m_buttons.insert(id, button);
    row->addWidget(button);
    connect(button, &QPushButton::clicked, this, [this, id] {
      if (id == kIdHelp) {
        emit helpRequested(m_helpId);
      } else {
        EndWith(id);
      }
    });
  }
  row->addStretch(1);
  root->addLayout(row);
}

void CMessageBoxDialog::SetControlsEnabled(bool enabled) {
  for (QPushButton* button : std::as_const(m_buttons)) button->setEnabled(enabled);
  if (m_checkBox) m_checkBox->setEnabled(enabled);
}

void CMessageBoxDialog::UpdateDefaultLabel() {
  QPushButton* button = Button(m_defaultId);
  if (!button) return;
  // The label stays the one the box shows (a relabelled button keeps its label).
  const QString label = LabelOf(m_defaultId);
  button->setText(m_timeout > 0 ? QStringLiteral("%1 = %2").arg(label).arg(m_timeout) : label);
}

void CMessageBoxDialog::Prepare() {
  if (m_prepared) return;
  m_prepared = true;
  BuildButtonList();
  CreateControls();
  // A screen reader names the box by its caption; a box shown with a blank caption is named
  // by the first line of its text. The text is its description either way.
  if (windowTitle().isEmpty() && accessibleName().isEmpty())
    setAccessibleName(m_message.section(QLatin1Char('\n'), 0, 0));
  setAccessibleDescription(m_message);
  if (!(m_flags & kNoSound)) QApplication::beep();

  Qt::WindowFlags window = Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint;
  if (m_cancelId != -1) window |= Qt::WindowCloseButtonHint;
  if (m_flags & kTopmost) window |= Qt::WindowStaysOnTopHint;
  setWindowFlags(window);
  setWindowModality((m_flags & kSystemModal) || !parentWidget() ? Qt::ApplicationModal
                                                                : Qt::WindowModal);
  if (m_flags & kSetForeground) {
    QTimer::singleShot(0, this, [this] {
      raise();
      activateWindow();
    });
  }

  if (m_timeout > 0) {
    if (m_disableUntilTimeout) SetControlsEnabled(false);
    m_timerId = startTimer(1000);
    UpdateDefaultLabel();
  }
  if (QPushButton* button = Button(m_defaultId)) {
    button->setDefault(true);
    button->setFocus();
  }
}

int CMessageBoxDialog::DoModal() {
  if (HasCheckBox()) {
    if (m_key.isEmpty()) m_key = RememberedAnswerKey(m_helpId, m_message);
    const int remembered =
        Profile()->GetProfileInt(QString::fromLatin1(kProfileSection), m_key, -1);
    if (remembered != -1) return remembered;
  }
  Prepare();
  return exec();
}

void CMessageBoxDialog::CountdownTick() {
  if (m_timeout <= 0) return;
  --m_timeout;
  if (m_timeout == 0) {
    if (m_timerId != 0) {
      killTimer(m_timerId);
      m_timerId = 0;
    }
    if (m_disableUntilTimeout) {
      SetControlsEnabled(true);
      if (QPushButton* button = Button(m_defaultId)) button->setFocus();
    } else {
      UpdateDefaultLabel();
      EndWith(m_defaultId);
      return;
    }
  }
  UpdateDefaultLabel();
}

void CMessageBoxDialog::timerEvent(QTimerEvent* event) {
  if (event->timerId() == m_timerId) {
    CountdownTick();
    return;
  }
  QDialog::timerEvent(event);
}

void CMessageBoxDialog::EndWith(int id) {
  if (m_timerId != 0) {
    killTimer(m_timerId);
    m_timerId = 0;
  }
  if (HasCheckBox() && m_checkBox && m_checkBox->isChecked()) {
    if (m_key.isEmpty()) m_key = RememberedAnswerKey(m_helpId, m_message);
    Profile()->WriteProfileInt(QString::fromLatin1(kProfileSection), m_key, id);
  }
  done(id);
}

void CMessageBoxDialog::keyPressEvent(QKeyEvent* event) {
  if (Locked()) {
    event->accept();
    return;
  }
  const bool ctrlBreak =
      event->key() == Qt::Key_Cancel ||
      (event->key() == Qt::Key_Pause && (event->modifiers() & Qt::ControlModifier));
  switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter: {
      int id = m_defaultId;
      for (auto it = m_buttons.cbegin(); it != m_buttons.cend(); ++it) {
        if (it.value() == focusWidget()) id = it.key();
      }
      if (id == kIdHelp) {
        emit helpRequested(m_helpId);
      } else if (id != -1) {
        EndWith(id);
      }
      event->accept();
      return;
    }
    case Qt::Key_Escape:
      if (m_cancelId != -1) EndWith(m_cancelId);
      event->accept();
      return;
    default:
      if (ctrlBreak) {
        if (m_cancelId != -1) EndWith(m_cancelId);
        event->accept();
        return;
      }
      QWidget::keyPressEvent(event);
  }
}

void CMessageBoxDialog::reject() {
  if (Locked() || m_cancelId == -1) return;
  EndWith(m_cancelId);
}

void CMessageBoxDialog::closeEvent(QCloseEvent* event) {
  if (Locked() || m_cancelId == -1) {
    event->ignore();
    return;
  }
  EndWith(m_cancelId);
  event->accept();
}

QString CMessageBoxDialog::RememberedAnswerKey(int helpId, const QString& message) {
  if (helpId != 0) return QString::number(helpId);
  const std::string bytes = ToGbk(message);
  std::uint32_t sum = 0;  // wraps like the 32-bit sum it reproduces
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    const int value = static_cast<signed char>(bytes[i]);
    sum += static_cast<std::uint32_t>(value) * static_cast<std::uint32_t>(i);
  }
  return QString::number(static_cast<std::int32_t>(sum));
}

void CMessageBoxDialog::SetProfile(std::shared_ptr<IMessageBoxProfile> profile) {
  ProfileSlot() = std::move(profile);
}

std::shared_ptr<IMessageBoxProfile> CMessageBoxDialog::Profile() {
  auto& slot = ProfileSlot();
  if (!slot) slot = std::make_shared<IniMessageBoxProfile>();
  return slot;
}

void CMessageBoxDialog::ResetRememberedAnswers() {
  Profile()->RemoveSection(QString::fromLatin1(kProfileSection));
}
