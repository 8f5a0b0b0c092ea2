#pragma once
// Owner-painted strip of equal-width tabs, each showing an image of the strip's image list or a
// text. Tracks the tab under the mouse and reports the tab the user selects. From the keyboard,
// Left/Right/Home/End move a dotted focus mark between the tabs and Return, Enter or Space
// opens the marked tab.
#include <QWidget>
#include <memory>
#include <vector>

#include "controls/CXImages.h"
#include "controls/CXTabInfo.h"
#include "controls/XTabColorScheme.h"

class CXTabCtrl : public QWidget {
  Q_OBJECT

 public:
  // Message sent to the parent on a user selection, with the new index (WM_USER + 101).
  static constexpr int kSelectMessage = 1125;
  // Notification code that follows it (TCN_SELCHANGE).
  static constexpr int kSelChange = -551;
  // Drawing states of a tab.
  static constexpr int kStateNormal = 0;
  static constexpr int kStateSelected = 1;
  static constexpr int kStateHot = 64;

  explicit CXTabCtrl(QWidget* parent = nullptr, int controlId = 0);
  ~CXTabCtrl() override;

  int ControlId() const { return m_controlId; }

  // Adds an image and returns its index (-1 on failure); an image wider than the item width
  // widens every tab to it.
  int AddImage(const QImage& image);
  CXImages& Images() { return m_images; }

  // Appends a tab and returns its index; the first tab of an empty strip becomes selected
  // without a notification.
  int AddTab(const QString& text, int image = -1);
  bool RemoveTab(int index);
  void RemoveAllTabs();
  int Count() const { return static_cast<int>(m_items.size()); }

  // An empty new text is refused.
  bool SetTabText(int index, const QString& text);
  QString TabText(int index) const;
  bool SetTabImage(int index, int image);
  int TabImage(int index) const;
  QRect TabRect(int index) const;

  // Selects without notifying; false for an index outside the tabs. The focus mark follows.
  bool Select(int index);
  int Selected() const { return m_selected; }
  int Hot() const { return m_hot; }
  // The tab the keyboard is on (the focus mark while the strip has focus); -1 without tabs.
  int Current() const;
  // A selection as by the user's click: selects, repaints and notifies; nothing for the
  // selected tab or an index outside the tabs.
  void SelectByUser(int index);

  void SetColorScheme(const XTabColorScheme& scheme);
  const XTabColorScheme& ColorScheme() const { return m_scheme; }
  void SetBackgroundColor(XColor color);
  void SetItemWidth(int pixels);
  int ItemWidth() const { return m_itemWidth; }
  void SetTopOffset(int pixels);

  // Index of the tab holding `point` (client coordinates), the selected tab first; -1 if none.
  int HitTest(const QPoint& point) const;

  // Tabs in the order a paint draws them: the unselected ones from last to first, skipping
  // those that start at or beyond the right edge and stopping at the first that starts left of
  // the left edge; then the selected tab.
  std::vector<int> DrawOrder() const;

 signals:
  // Sent first on a user selection: kSelectMessage with the new index.
  void tabMessage(int message, int index);
  // Sent second: this strip's control id and kSelChange.
  void tabNotify(int controlId, int code);

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  // Left/Right (and Home/End) move the focus mark to the neighbouring (first/last) tab;
  // Return, Enter and Space open the marked tab as a click would.
  void keyPressEvent(QKeyEvent* event) override;
  void focusInEvent(QFocusEvent* event) override;
  void focusOutEvent(QFocusEvent* event) override;
  void leaveEvent(QEvent* event) override;

 private:
  void Layout();
  bool ValidIndex(int index) const { return index >= 0 && index < Count(); }
  QColor BackgroundColor() const;
  void DrawTab(QPainter& painter, int index, int state) const;
  void DrawStyle(QPainter& painter, const XTabStyle& style, const QRect& rect) const;
  void RepaintTab(int index);
  void SetCurrent(int index);
  // Tells a screen reader which tab has the keyboard.
  void AnnounceFocus() const;

  int m_controlId;
  std::vector<std::unique_ptr<CXTabInfo>> m_items;
  int m_selected = -1;
  int m_hot = -1;
  int m_current = -1;
  int m_tracking = 0;
  int m_itemWidth = 80;
  int m_topOffset = 0;
  int m_nextId = 1;
  CXImages m_images;
  XTabColorScheme m_scheme;
};
