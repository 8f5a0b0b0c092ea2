#pragma once
// The message popup: a small frameless, always-on-top window at the lower-right corner of
// the screen that shows one pushed message (title, text, optional link). It is created by
// the first message, shown again with each one (the new texts replace the old), and
// destroyed by a click on any of its four areas: close, open, title, text. A click on the
// open button, the title or the text opens the link when there is one. Dragging the frame
// moves it. A screen reader hears it as a notification (the message's title and text). It
// comes up without taking the focus; brought to the keyboard (TakeKeyboard), Tab and the
// arrows move between its buttons, Return, Enter or Space press the one marked and Escape
// closes it. Main thread only.
#include <QFont>
#include <QImage>
#include <QPoint>
#include <QPointer>
#include <QRect>
#include <QSize>
#include <QString>
#include <QWidget>

#include <array>
#include <functional>
#include <string>

#include "client/ui/notify/CaptionDrag.h"

struct PushMessage;

namespace mini_news {

inline constexpr int kWidth = 250;
inline constexpr int kHeight = 180;
inline constexpr int kCornerEllipse = 5;
inline constexpr int kSkinResource = 170;
inline constexpr const char* kTitle = "澄野奥凡云消息";
// Posted to the popup when an area was clicked (wParam: the area).
inline constexpr int kAreaClickedMessage = 32874;

enum AreaId { kClose = 0, kOpen = 1, kTitleText = 2, kMessageText = 3 };

struct AreaSpec {
  int id;
  QRect rect;
  const char* accessibleName;  // buttons; the texts are named by their content
  int skinRow;                 // source y of the button states in the skin; -1 for texts
};
inline constexpr std::array<AreaSpec, 4> kAreas = {{
    {kClose, QRect(214, 1, 36, 18), "关闭", 60},
    {kOpen, QRect(195, 155, 50, 20), "查看", 80},  // named as its skin labels it
    {kTitleText, QRect(8, 26, 234, 20), "", -1},
    {kMessageText, QRect(8, 51, 234, 94), "", -1},
}};

// The frame: a nine-part stretch of the skin's top-left 80 × 60 with this inner part.
inline constexpr QRect kFrameSource(0, 0, 80, 60);
inline constexpr QRect kFrameInner(QPoint(35, 25), QPoint(45 - 1, 30 - 1));
// Caption line (right edge relative to the width).
inline constexpr int kCaptionLeft = 8, kCaptionTop = 5, kCaptionRightMargin = 50,
                     kCaptionBottom = 21, kCaptionTextIndent = 25;

inline const QColor kCaptionColor(0, 0, 0);
inline const QColor kTextColor(12, 78, 124);
inline const QColor kHoverTextColor(22, 122, 235);

// The area holding `point`, first match in order; -1 for none.
int HitTest(const QPoint& point);
// Where the popup goes: its lower-right corner on the work area's lower-right corner.
QPoint CornerPosition(const QRect& workArea, const QSize& size);

}  // namespace mini_news

// The popup window itself; CCometMiniNews creates and owns it.
class CMiniNewsWindow final : public QWidget {
  Q_OBJECT
 public:
  using LinkOpener = std::function<bool(const std::string& url)>;

  CMiniNewsWindow(const QImage& skin, LinkOpener opener);

  // Area 2 gets the title, area 3 the text; the link is kept for the clicks.
  void SetTexts(const QString& title, const QString& text, const std::string& link);
  // Moves to the work area's corner, shows and paints at once.
  void ShowAtCorner();

  QString AreaText(int id) const { return m_texts.at(id); }
  const std::string& Link() const { return m_link; }
  int Hovered() const { return m_hover; }
  int Pressed() const { return m_pressed; }
  // The rendered popup, as painted.
  const QImage& BackBuffer() const { return m_back; }

  // The click on area `id` (message 32874): opens the link for areas 1 to 3, then closes.
  void OnAreaClicked(int id);

  // Raises and activates the popup with the keyboard on its open button.
  void TakeKeyboard();
  // The button the keyboard is on (mini_news::kOpen or kClose).
  int FocusArea() const { return m_focus; }
  // True while the popup has the keyboard and its focus mark shows.
  bool ShowsFocus() const;

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void leaveEvent(QEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void focusInEvent(QFocusEvent* event) override;
  void focusOutEvent(QFocusEvent* event) override;
  // Tab and Shift+Tab move between the two buttons.
  bool focusNextPrevChild(bool next) override;

 private:
  void Render();
  void SetHover(int area);
  void SetFocusArea(int area);
  // Tells a screen reader which button has the keyboard.
  void AnnounceFocus();

  QImage m_skin;
  LinkOpener m_opener;
  QImage m_back;
  std::array<QString, 4> m_texts;
  std::string m_link;
  int m_hover = -1;
  int m_pressed = -1;
  int m_focus = mini_news::kOpen;
  CaptionDrag m_drag;
  QFont m_normalFont;
  QFont m_boldFont;
};

class CCometMiniNews final {
 public:
  explicit CCometMiniNews(CMiniNewsWindow::LinkOpener opener = {});
  ~CCometMiniNews();
  CCometMiniNews(const CCometMiniNews&) = delete;
  CCometMiniNews& operator=(const CCometMiniNews&) = delete;

  // Shows a pushed message: creates the popup when there is none, sets its texts, shows it
  // at the corner. A popup that cannot be created is skipped (the message is lost).
  void ShowMessage(const PushMessage& message);
  // The popup, null while there is none.
  CMiniNewsWindow* Window() const { return m_window.data(); }
  // Brings the popup to the keyboard: the last message is shown again when its popup was
  // closed, and the popup is raised and activated. False before the first message.
  bool TakeKeyboard();
  bool HasMessage() const { return m_hasMessage; }

 private:
  void Show();

  CMiniNewsWindow::LinkOpener m_opener;
  bool m_hasMessage = false;
  QString m_title, m_text;
  std::string m_link;
  QImage m_skin;  // loaded once, kept for the next popup
  QPointer<CMiniNewsWindow> m_window;
};
