#pragma once
// Application tiles: a CPngButton bound to one application record and the list it came
// from. Shows the install state its page hands it, shows installer-download progress, and
// turns a click into the choice box of its kind, whose answer it emits as an action with
// its record (actionRequested); the page forwards it to the window. The tile keeps its own
// reference to the record, so it stays valid when the list is requested again. GUI thread
// only.
#include <QTimer>

#include <memory>
#include <string>

#include "client/apps/AppActions.h"
#include "client/apps/AppList.h"
#include "client/apps/InstallState.h"
#include "client/ui/views/CPngButton.h"

class CMessageBoxDialog;

class COrvAppButton : public CPngButton {
  Q_OBJECT
 public:
  explicit COrvAppButton(QWidget* parent = nullptr);

  // Binds the tile: face image, key (the record's img), name (caption and saved name).
  void SetAppInfo(const QString& imagePath, const std::string& key, const QString& name,
                  AppRecord record, AppListKind list);
  // SetAppInfo with the record's iconPath, img and name; `installState` is the record's
  // install state as its list holds it (worked out once per answer).
  void Bind(AppRecord record, AppListKind list, int installState = tile_state::kNone);
  // Applies the tile's own information again (its icon arrived).
  void ReapplyAppInfo();

  // The install state the tile was bound with (said when the badge shows none).
  int InstallState() const { return m_installState; }
  // Sets the state and repaints; keeps the accessible description current.
  void ApplyState(int state);
  // ApplyState with a new install state as well (the registrations changed).
  void ApplyState(int state, int installState);

  // Download progress of `url`: name:percent% from 2 to 98, name:下载失败 for
  // tile_look::kProgressFailed (until the next click), else the plain name. Only desktop
  // records whose downurl is `url` take part.
  void SetProgress(const std::string& url, int percent);
  // The percent shown, or -1 when none.
  int ShownProgress() const { return m_progress; }
  // The tile's state as a screen reader says it: "下载 N%" while its installer downloads,
  // "已下载，再次按下即可安装" when it is downloaded but not installed, else the badge's words
  // (a desktop tile without a badge says its install state all the same); "" for none.
  QString SpokenState() const;
  // Screen readers hear the progress at most once per this period; the last change of a
  // burst follows when it ends.
  static constexpr int kAnnounceMs = 500;

  const std::string& Key() const { return m_key; }
  const AppRecord& Record() const { return m_record; }
  AppListKind List() const { return m_list; }
  const QString& Name() const { return m_name; }
  bool Added() const { return m_added; }
  void SetAdded(bool added) { m_added = added; }
  // The state when the tile was last clicked: its choice box and answer follow it.
  int ClickState() const { return m_clickState; }

  // The choice box a click opens; null when the click acts at once. Exposed for tests.
  virtual std::unique_ptr<CMessageBoxDialog> MakeChoiceBox();
  // Carries out the box's answer (or the click without a box).
  virtual void Answer(int id);

 signals:
  // The user chose `action` for the tile's record, bound from `list`. Handlers may rebuild
  // the page that owns the tile (tiles are destroyed later, never during the emission).
  void actionRequested(AppAction action, const AppRecord& record, AppListKind list);

 protected:
  // Emits one action with the tile's record and list; false when the tile has no record.
  bool Send(AppAction action);
  // A choice box of this tile, owned by its window: the information icon.
  std::unique_ptr<CMessageBoxDialog> Box(const QString& title, unsigned flags,
                                         const QString& text) const;
  void UpdateAccessibleText();

 private:
  void OnClicked();
  // Tells screen readers the progress (description and value), throttled.
  void AnnounceProgress();

  std::string m_key;
  AppRecord m_record;
  AppListKind m_list = AppListKind::Hot;
  int m_installState = tile_state::kNone;
  QString m_name;
  bool m_added = false;
  int m_progress = -1;
  bool m_downloadFailed = false;
  int m_clickState = 0;
  QTimer* m_announce = nullptr;
  bool m_announcePending = false;
};

// My-apps page: start / remove (and upgrade / open when an update is available).
class COrvPrivateAppButton final : public COrvAppButton {
  Q_OBJECT
 public:
  using COrvAppButton::COrvAppButton;
  std::unique_ptr<CMessageBoxDialog> MakeChoiceBox() override;
  void Answer(int id) override;
};

// Hot strip: starts at once, or offers the upgrade when one is available.
class COrvHotAppButton final : public COrvAppButton {
  Q_OBJECT
 public:
  explicit COrvHotAppButton(QWidget* parent = nullptr);
  std::unique_ptr<CMessageBoxDialog> MakeChoiceBox() override;
  void Answer(int id) override;
};

// App-centre page: start when the user already has the application, else offers to add it.
class COrvAllAppButton final : public COrvAppButton {
  Q_OBJECT
 public:
  explicit COrvAllAppButton(const QString& description = QString(), QWidget* parent = nullptr);
  // The text of the box offering to add the application (the tile is bound anew).
  void SetDescription(const QString& description) { m_description = description; }
  std::unique_ptr<CMessageBoxDialog> MakeChoiceBox() override;
  void Answer(int id) override;

 private:
  QString m_description;
};
