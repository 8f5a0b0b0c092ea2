#include "client/ui/views/COrvAppButton.h"

#include <QAccessible>
#include <QPointer>

#include <algorithm>

#include "client/ui/shell/MessageBoxes.h"
#include "client/ui/views/TileLook.h"
#include "controls/CMessageBoxDialog.h"

namespace {

using Box = CMessageBoxDialog;

bool IsDesktop(const OrvAppInfo& app) { return app.type == "client"; }

}  // namespace

COrvAppButton::COrvAppButton(QWidget* parent) : CPngButton(parent) {
  SetLoadingPlaceholder(true);
  setCursor(Qt::PointingHandCursor);
  setProperty("controlId", tile_look::kTileControlId);
  connect(this, &QAbstractButton::clicked, this, &COrvAppButton::OnClicked);
  m_announce = new QTimer(this);
  m_announce->setSingleShot(true);
  connect(m_announce, &QTimer::timeout, this, [this] {
    if (!m_announcePending) return;
    m_announcePending = false;
    AnnounceProgress();
  });
}

void COrvAppButton::SetAppInfo(const QString& imagePath, const std::string& key,
                               const QString& name, AppRecord record, AppListKind list) {
  SetImagePath(imagePath);
  m_key = key;
  m_record = std::move(record);
  m_list = list;
  m_name = name;
  SetCaption(name);
  SetShowCaption(true);
  setAccessibleName(name);
  UpdateAccessibleText();
}

void COrvAppButton::Bind(AppRecord record, AppListKind list, int installState) {
  if (!record) return;
  m_installState = installState;
  const OrvAppInfo& app = *record;
  SetAppInfo(QString::fromStdString(app.iconPath), app.img, QString::fromStdString(app.name),
             std::move(record), list);
}

void COrvAppButton::ReapplyAppInfo() {
  SetAppInfo(ImagePath(), m_key, m_name, m_record, m_list);
  if (m_progress >= 0) SetCaption(m_name + QStringLiteral(":%1%").arg(m_progress));
}

void COrvAppButton::ApplyState(int state) {
  SetState(state);
  UpdateAccessibleText();
  update();
}

void COrvAppButton::ApplyState(int state, int installState) {
  m_installState = installState;
  ApplyState(state);
}

void COrvAppButton::SetProgress(const std::string& url, int percent) {
  if (!m_record || !IsDesktop(*m_record) || m_record->downurl != url) return;
  m_downloadFailed = percent == tile_look::kProgressFailed;
  if (m_downloadFailed) {
    m_progress = -1;
    SetCaption(m_name + ':' + QString::fromUtf8(tile_look::kDownloadFailedText));
  } else if (percent >= tile_look::kProgressFirst && percent <= tile_look::kProgressLast) {
    m_progress = percent;
    SetCaption(m_name + QStringLiteral(":%1%").arg(percent));
  } else {
    m_progress = -1;
    SetCaption(m_name);
  }
  SetCaptionKeepsEnd(m_progress >= 0);
  if (m_progress >= 0) {
    AnnounceProgress();  // percentages reach a screen reader at most a few times a second
  } else {
    // The end of a download, finished or failed, is said at once.
    m_announcePending = false;
    UpdateAccessibleText();
  }
  // Only the caption strip changes.
  update(QRect(0, height() - tile_look::kProgressStrip, width(), tile_look::kProgressStrip));
}

QString COrvAppButton::SpokenState() const {
  if (m_progress >= 0) return QStringLiteral("下载 %1%").arg(m_progress);
  int state = State();
  if (state == tile_state::kNone && m_record && IsDesktop(*m_record)) state = m_installState;
  QString words = state == tile_state::kNotInstalled && m_record && InstallerDownloaded(*m_record)
                      ? QStringLiteral("已下载，再次按下即可安装")
                      : QString::fromStdString(StateWordsOf(state));
  if (m_downloadFailed) {
    if (!words.isEmpty()) words += QStringLiteral(", ");
    words += QString::fromUtf8(tile_look::kDownloadFailedText);
  }
  return words;
}

void COrvAppButton::UpdateAccessibleText() {
  const QString text = SpokenState();
  if (accessibleDescription() != text) setAccessibleDescription(text);
}

void COrvAppButton::AnnounceProgress() {
  if (m_announce->isActive()) {
    m_announcePending = true;
    return;
  }
  UpdateAccessibleText();
  if (QAccessible::isActive()) {
    QAccessibleValueChangeEvent event(this, std::max(m_progress, 0));
    QAccessible::updateAccessibility(&event);
  }
  m_announce->start(kAnnounceMs);
}

bool COrvAppButton::Send(AppAction action) {
  // Copies: the action may rebind this tile to another record.
  const AppRecord record = m_record;
  if (!record) return false;
  emit actionRequested(action, record, m_list);
  return true;
}

std::unique_ptr<CMessageBoxDialog> COrvAppButton::Box(const QString& title, unsigned flags,
                                                      const QString& text) const {
  return std::make_unique<CMessageBoxDialog>(window(), text, title, flags | Box::kIconInformation);
}

std::unique_ptr<CMessageBoxDialog> COrvAppButton::MakeChoiceBox() { return nullptr; }

void COrvAppButton::Answer(int) { Send(AppAction::Activate); }

void COrvAppButton::OnClicked() {
  QPointer<COrvAppButton> self(this);
  if (m_downloadFailed) {
    // The failure stays shown until the user acts on the tile again.
    m_downloadFailed = false;
    SetCaption(m_name);
    UpdateAccessibleText();
    update();
  }
  m_clickState = State();
  std::unique_ptr<CMessageBoxDialog> box = MakeChoiceBox();
  int id = 0;
  if (box) {
    id = shell::RunMessageBox(*box);
    box.reset();
    if (!self) return;
  }
  Answer(id);
}

// --- my-apps page ---------------------------------------------------------------------------

std::unique_ptr<CMessageBoxDialog> COrvPrivateAppButton::MakeChoiceBox() {
  const QString remark = Record() ? QString::fromStdString(Record()->remark) : QString();
  const QString title = QStringLiteral("我的应用");
  if (ClickState() == tile_state::kUpdate) {
    auto box = Box(title, Box::kYesNoCancel | Box::kYesToAll, remark);
    box->SetButtonLabel(Box::kIdYes, QStringLiteral("升级"));
    box->SetButtonLabel(Box::kIdYesToAll, QStringLiteral("打开"));
    box->SetButtonLabel(Box::kIdNo, QStringLiteral("移除"));
    return box;
  }
  auto box = Box(title, Box::kYesNoCancel, remark);
  box->SetButtonLabel(Box::kIdYes, QStringLiteral("启动"));
  box->SetButtonLabel(Box::kIdNo, QStringLiteral("移除"));
  box->SetButtonLabel(Box::kIdCancel, QStringLiteral("取消"));
  return box;
}

void COrvPrivateAppButton::Answer(int id) {
  // Copies: the first action may rebind this tile to another record.
  const AppRecord record = Record();
  const AppListKind list = List();
  if (!record) return;
  auto send = [this, &record, list](AppAction action) {
    emit actionRequested(action, record, list);
  };
  if (ClickState() == tile_state::kUpdate) {
    if (id == Box::kIdYes) send(AppAction::Upgrade);
    if (id == Box::kIdYesToAll) send(AppAction::Activate);
    if (id == Box::kIdNo) {
      send(AppAction::Uninstall);
      send(AppAction::Delete);
    }
    return;
  }
  if (id == Box::kIdYes) send(AppAction::Activate);
  if (id == Box::kIdNo) {
    if (IsDesktop(*record)) send(AppAction::Uninstall);
    send(AppAction::Delete);
  }
}

// --- hot strip ------------------------------------------------------------------------------

COrvHotAppButton::COrvHotAppButton(QWidget* parent) : COrvAppButton(parent) { SetHotBadge(true); }

std::unique_ptr<CMessageBoxDialog> COrvHotAppButton::MakeChoiceBox() {
  if (ClickState() != tile_state::kUpdate) return nullptr;
  const QString remark = Record() ? QString::fromStdString(Record()->remark) : QString();
  auto box = Box(QStringLiteral("热点应用"), Box::kYesNo, remark);
  box->SetButtonLabel(Box::kIdYes, QStringLiteral("升级"));
  box->SetButtonLabel(Box::kIdNo, QStringLiteral("取消"));
  return box;
}

void COrvHotAppButton::Answer(int id) {
  if (ClickState() != tile_state::kUpdate) {
    Send(AppAction::Activate);
    return;
  }
  if (id == Box::kIdYes) Send(AppAction::Upgrade);
}

// --- app-centre page ------------------------------------------------------------------------

COrvAllAppButton::COrvAllAppButton(const QString& description, QWidget* parent)
    : COrvAppButton(parent), m_description(description) {}

std::unique_ptr<CMessageBoxDialog> COrvAllAppButton::MakeChoiceBox() {
  const QString title = QStringLiteral("应用中心");
  if (Added()) {
    auto box = Box(title, Box::kOkCancel, m_description);
    box->SetButtonLabel(Box::kIdOk, QStringLiteral("启动"));
    return box;
  }
  return Box(title, Box::kYesNo, m_description + QStringLiteral("\r\n\r\n是否添加该应用？"));
}

void COrvAllAppButton::Answer(int id) {
  if (Added()) {
    if (id == Box::kIdOk) Send(AppAction::Activate);
    return;
  }
  if (id == Box::kIdYes) Send(AppAction::Add);
}
