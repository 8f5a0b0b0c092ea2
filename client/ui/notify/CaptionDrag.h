#pragma once
// Moving a frameless top-level window by the part of it that stands in for a caption. The
// drag begins with the first move of the pressed left button, so a plain click there never
// leaves the window manager moving the window; the window manager then moves it where it
// can, else the window follows the pointer itself. The owner forwards its mouse events.
#include <QMouseEvent>
#include <QPoint>
#include <QWidget>
#include <QWindow>

class CaptionDrag {
 public:
  // A left press; onCaption: the press is on the part that drags.
  void Press(const QWidget& window, const QMouseEvent& event, bool onCaption) {
    m_pending = onCaption;
    m_offset = event.globalPosition().toPoint() - window.pos();
  }
  // A move; true when it belongs to a drag the window follows itself (the owner then does
  // nothing else with it).
  bool Move(QWidget& window, const QMouseEvent& event) {
    if (m_pending && (event.buttons() & Qt::LeftButton)) {
      m_pending = false;
      m_following = !(window.windowHandle() && window.windowHandle()->startSystemMove());
    }
    if (m_following) window.move(event.globalPosition().toPoint() - m_offset);
    return m_following;
  }
  // The left button's release ends any drag.
  void Release() { m_pending = m_following = false; }

 private:
  bool m_pending = false;
  bool m_following = false;
  QPoint m_offset;
};
