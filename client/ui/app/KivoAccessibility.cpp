#include "client/ui/app/KivoAccessibility.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QCoreApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPointer>
#include <QStringList>

#include <algorithm>
#include <vector>

#include "client/ui/views/COrvAppButton.h"
#include "controls/CSkinBtn.h"
#include "controls/CXTabCtrl.h"

namespace {

// One tab of a strip: a page tab, selected while its page is open, focused while the strip
// has the keyboard on it; pressing it opens its page as a click would.
class TabAccessible final : public QAccessibleInterface, public QAccessibleActionInterface {
 public:
  TabAccessible(CXTabCtrl* strip, int index) : m_strip(strip), m_index(index) {}
  void* interface_cast(QAccessible::InterfaceType type) override {
    return type == QAccessible::ActionInterface ? static_cast<QAccessibleActionInterface*>(this)
                                                : nullptr;
  }
  QStringList actionNames() const override { return {pressAction()}; }
  void doAction(const QString& name) override {
    if (name != pressAction() || !isValid()) return;
    // Posted: opening a page may ask a question first, and the screen reader waits for the
    // action's answer.
    QMetaObject::invokeMethod(
        m_strip.data(),
        [strip = m_strip, index = m_index] {
          if (strip) strip->SelectByUser(index);
        },
        Qt::QueuedConnection);
  }
  QStringList keyBindingsForAction(const QString&) const override { return {}; }
  bool isValid() const override { return m_strip && m_index < m_strip->Count(); }
  QObject* object() const override { return nullptr; }
  QAccessibleInterface* childAt(int, int) const override { return nullptr; }
  QAccessibleInterface* parent() const override {
    return QAccessible::queryAccessibleInterface(m_strip.data());
  }
  QAccessibleInterface* child(int) const override { return nullptr; }
  int childCount() const override { return 0; }
  int indexOfChild(const QAccessibleInterface*) const override { return -1; }
  QString text(QAccessible::Text t) const override {
    if (!isValid() || t != QAccessible::Name) return {};
    QStringList names = m_strip->property("orvTabNames").toStringList();
    return m_index < names.size() ? names[m_index] : m_strip->TabText(m_index);
  }
  void setText(QAccessible::Text, const QString&) override {}
  QRect rect() const override {
    if (!isValid()) return {};
    QRect r = m_strip->TabRect(m_index);
    return QRect(m_strip->mapToGlobal(r.topLeft()), r.size());
  }
  QAccessible::Role role() const override { return QAccessible::PageTab; }
  QAccessible::State state() const override {
    QAccessible::State s;
    s.selectable = true;
    s.selected = isValid() && m_strip->Selected() == m_index;
    s.hotTracked = isValid() && m_strip->Hot() == m_index;
    s.focusable = isValid() && m_strip->focusPolicy() != Qt::NoFocus;
    s.focused = isValid() && m_strip->hasFocus() && m_strip->Current() == m_index;
    s.invisible = !isValid() || !m_strip->isVisible();
    return s;
  }

 private:
  QPointer<CXTabCtrl> m_strip;
  int m_index;
};

class TabStripAccessible final : public QAccessibleWidget {
 public:
  explicit TabStripAccessible(CXTabCtrl* strip)
      : QAccessibleWidget(strip, QAccessible::PageTabList) {}
  ~TabStripAccessible() override {
    for (auto* tab : m_tabs) QAccessible::deleteAccessibleInterface(QAccessible::uniqueId(tab));
  }
  int childCount() const override { return Strip()->Count(); }
  QAccessibleInterface* child(int index) const override {
    if (index < 0 || index >= childCount()) return nullptr;
    while (static_cast<int>(m_tabs.size()) <= index) {
      auto* tab = new TabAccessible(Strip(), static_cast<int>(m_tabs.size()));
      QAccessible::registerAccessibleInterface(tab);
      m_tabs.push_back(tab);
    }
    return m_tabs[index];
  }
  int indexOfChild(const QAccessibleInterface* child) const override {
    for (size_t i = 0; i < m_tabs.size(); ++i)
      if (m_tabs[i] == child) return static_cast<int>(i);
    return -1;
  }
  QAccessibleInterface* childAt(int x, int y) const override {
    int index = Strip()->HitTest(Strip()->mapFromGlobal(QPoint(x, y)));
    return index >= 0 ? child(index) : nullptr;
  }
  QAccessibleInterface* focusChild() const override {
    return Strip()->hasFocus() ? child(Strip()->Current()) : nullptr;
  }

 private:
  CXTabCtrl* Strip() const { return static_cast<CXTabCtrl*>(widget()); }
  mutable std::vector<TabAccessible*> m_tabs;
};

// Follows a link drawn by the window (the banner, the update link): a left click at its
// centre, delivered where the mouse's click would go (a label that lets clicks through hands
// it to its parent).
void ClickLink(QWidget* link) {
  QWidget* target = link;
  QPoint pos = target->rect().center();
  while (target->testAttribute(Qt::WA_TransparentForMouseEvents) && target->parentWidget()) {
    pos = target->mapToParent(pos);
    target = target->parentWidget();
  }
  const QPointF local(pos), global(target->mapToGlobal(local));
  QMouseEvent press(QEvent::MouseButtonPress, local, global, Qt::LeftButton, Qt::LeftButton,
                    Qt::NoModifier);
  QCoreApplication::sendEvent(target, &press);
  QMouseEvent release(QEvent::MouseButtonRelease, local, global, Qt::LeftButton, Qt::NoButton,
                      Qt::NoModifier);
  QCoreApplication::sendEvent(target, &release);
}

// A link drawn by the window: pressing it follows it.
class LinkAccessible final : public QAccessibleWidget {
 public:
  explicit LinkAccessible(QWidget* widget) : QAccessibleWidget(widget, QAccessible::Link) {}
  QStringList actionNames() const override {
    return QAccessibleWidget::actionNames() << pressAction();
  }
  void doAction(const QString& name) override {
    if (name != pressAction()) return QAccessibleWidget::doAction(name);
    ClickLink(widget());
  }
};

// Makes a drawn link a keyboard stop: Return, Enter and Space follow it, and while it has the
// focus the skin's dotted focus mark is drawn over it.
class KeyboardLink final : public QObject {
 public:
  static constexpr const char* kName = "keyboardLink";
  explicit KeyboardLink(QWidget* link) : QObject(link) {
    setObjectName(QLatin1String(kName));
    link->setFocusPolicy(Qt::TabFocus);
    link->installEventFilter(this);
  }
  bool eventFilter(QObject* object, QEvent* event) override {
    auto* link = static_cast<QWidget*>(object);
    switch (event->type()) {
      case QEvent::KeyPress: {
        auto* key = static_cast<QKeyEvent*>(event);
        const bool press = key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter ||
                           key->key() == Qt::Key_Space;
        if (!press || (key->modifiers() & ~Qt::KeypadModifier) != Qt::NoModifier) return false;
        if (!key->isAutoRepeat()) ClickLink(link);
        return true;
      }
      case QEvent::FocusIn:
      case QEvent::FocusOut:
        link->update();
        return false;
      case QEvent::Paint: {
        // The link paints itself first (the call skips this filter), then the mark.
        static_cast<QObject*>(link)->event(event);
        if (link->hasFocus()) {
          QPainter painter(link);
          CSkinBtn::DrawFocusMark(painter, link->rect().adjusted(-2, -2, 2, 2));
        }
        return true;
      }
      default:
        return false;
    }
  }
};

// An application tile: a button named by the application, described by its state in words,
// with its installer's download progress (0 to 100) as its value. Pressing it is a click,
// posted: the click may ask a question, and the screen reader waits for the answer.
class TileAccessible final : public QAccessibleWidget, public QAccessibleValueInterface {
 public:
  explicit TileAccessible(COrvAppButton* tile) : QAccessibleWidget(tile, QAccessible::Button) {}
  void* interface_cast(QAccessible::InterfaceType type) override {
    if (type == QAccessible::ValueInterface) return static_cast<QAccessibleValueInterface*>(this);
    return QAccessibleWidget::interface_cast(type);
  }
  QString text(QAccessible::Text t) const override {
    // Read when asked, so a badge-less tile's install state is never stale.
    if (t == QAccessible::Description) return Tile()->SpokenState();
    return QAccessibleWidget::text(t);
  }
  QStringList actionNames() const override { return {pressAction()}; }
  void doAction(const QString& name) override {
    if (name != pressAction() || !widget()->isEnabled()) return;
    QPointer<COrvAppButton> tile = Tile();
    QMetaObject::invokeMethod(
        tile.data(),
        [tile] {
          if (tile) tile->click();
        },
        Qt::QueuedConnection);
  }
  QVariant currentValue() const override { return std::max(Tile()->ShownProgress(), 0); }
  void setCurrentValue(const QVariant&) override {}  // progress is read, never set
  QVariant maximumValue() const override { return 100; }
  QVariant minimumValue() const override { return 0; }
  QVariant minimumStepSize() const override { return 1; }

 private:
  COrvAppButton* Tile() const { return static_cast<COrvAppButton*>(widget()); }
};

QAccessibleInterface* KivoFactory(const QString& className, QObject* object) {
  if (!object || !object->isWidgetType()) return nullptr;
  auto* widget = static_cast<QWidget*>(object);
  if (object->inherits("COrvAppButton"))
    return new TileAccessible(static_cast<COrvAppButton*>(widget));
  if (className == QLatin1String("CXTabCtrl"))
    return new TabStripAccessible(static_cast<CXTabCtrl*>(widget));
  // The main window is the program's frame, though it is built on a dialog.
  if (className == QLatin1String("CKivoDlg"))
    return new QAccessibleWidget(widget, QAccessible::Window);
  QVariant role = object->property("orvAccessibleRole");
  if (!role.isValid()) return nullptr;
  if (role.toInt() == QAccessible::Link) return new LinkAccessible(widget);
  return new QAccessibleWidget(widget, static_cast<QAccessible::Role>(role.toInt()));
}

}  // namespace

void MakeKeyboardLink(QWidget* link) {
  // Found by name: the class has no meta-object of its own, so a lookup by type would take
  // any child (the banner's blank Flash child among them) for it.
  if (link &&
      !link->findChild<QObject*>(QLatin1String(KeyboardLink::kName), Qt::FindDirectChildrenOnly))
    new KeyboardLink(link);
}

void InstallKivoAccessibility() {
  static const bool installed = [] {
    QAccessible::installFactory(KivoFactory);
    return true;
  }();
  (void)installed;
}
