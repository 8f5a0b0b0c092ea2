#include "controls/AtSpiExtension.h"

#include <QAccessible>
#include <QCoreApplication>
#ifndef _WIN32
#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <QDBusVirtualObject>
#endif
#include <QFocusEvent>
#include <QLineEdit>
#include <QPointer>
#include <QTimer>

#ifndef _WIN32  // AT-SPI is the Linux desktop's accessibility bus
namespace {

constexpr char kTreePath[] = "/org/a11y/atspi/accessible";
constexpr char kRootPath[] = "/org/a11y/atspi/accessible/root";
constexpr char kAccessible[] = "org.a11y.atspi.Accessible";
constexpr char kAction[] = "org.a11y.atspi.Action";
constexpr char kSelection[] = "org.a11y.atspi.Selection";
constexpr char kProperties[] = "org.freedesktop.DBus.Properties";

// An AT-SPI object reference (so): the bus name and the object's path.
struct ObjectReference {
  QString service;
  QDBusObjectPath path;
};

// One entry of Action.GetActions (sss): name, description, key binding.
struct ActionEntry {
  QString name;
  QString description;
  QString keyBinding;
};

QDBusArgument& operator<<(QDBusArgument& arg, const ObjectReference& ref) {
  arg.beginStructure();
  arg << ref.service << ref.path;
  arg.endStructure();
  return arg;
}
const QDBusArgument& operator>>(const QDBusArgument& arg, ObjectReference& ref) {
  arg.beginStructure();
  arg >> ref.service >> ref.path;
  arg.endStructure();
  return arg;
}
QDBusArgument& operator<<(QDBusArgument& arg, const ActionEntry& entry) {
  arg.beginStructure();
  arg << entry.name << entry.description << entry.keyBinding;
  arg.endStructure();
  return arg;
}
const QDBusArgument& operator>>(const QDBusArgument& arg, ActionEntry& entry) {
  arg.beginStructure();
  arg >> entry.name >> entry.description >> entry.keyBinding;
  arg.endStructure();
  return arg;
}

}  // namespace

Q_DECLARE_METATYPE(ObjectReference)
Q_DECLARE_METATYPE(ActionEntry)

namespace {

// The accessible an object path names, as the bridge numbers them: ".../root" is the
// application, ".../<id>" the accessible of that unique id.
QAccessibleInterface* InterfaceAt(const QString& path) {
  if (path == QLatin1String(kRootPath)) return QAccessible::queryAccessibleInterface(qApp);
  const QString prefix = QLatin1String(kTreePath) + QLatin1Char('/');
  if (!path.startsWith(prefix)) return nullptr;
  bool ok = false;
  const uint id = QStringView(path).mid(prefix.size()).toUInt(&ok);
  return ok ? QAccessible::accessibleInterface(id) : nullptr;
}

QString PathOf(QAccessibleInterface* iface) {
  return QLatin1String(kTreePath) + QLatin1Char('/') +
         QString::number(QAccessible::uniqueId(iface));
}

bool OffersSelection(QAccessibleInterface* iface) {
  return iface->role() == QAccessible::PageTabList;
}

// The object's own actions: without the increase/decrease pair the bridge adds to values.
QStringList OwnActions(QAccessibleInterface* iface) {
  QAccessibleActionInterface* actions = iface->actionInterface();
  return actions ? actions->actionNames() : QStringList();
}

// The interfaces the bridge lists for an object, with Selection for a tab list and Action
// only where the object has actions of its own.
QStringList Interfaces(QAccessibleInterface* iface) {
  QStringList out{QLatin1String(kAccessible)};
  if (!iface->rect().isEmpty() || (iface->object() && iface->object()->isWidgetType()))
    out << QStringLiteral("org.a11y.atspi.Component");
  if (iface->role() == QAccessible::Application)
    out << QStringLiteral("org.a11y.atspi.Application");
  if (!OwnActions(iface).isEmpty() || (iface->actionInterface() && !iface->valueInterface()))
    out << QLatin1String(kAction);
  if (OffersSelection(iface)) out << QLatin1String(kSelection);
  if (iface->textInterface()) out << QStringLiteral("org.a11y.atspi.Text");
  if (iface->editableTextInterface()) out << QStringLiteral("org.a11y.atspi.EditableText");
  if (iface->valueInterface()) out << QStringLiteral("org.a11y.atspi.Value");
  if (iface->tableInterface()) out << QStringLiteral("org.a11y.atspi.Table");
  return out;
}

class BridgeWrapper final : public QDBusVirtualObject {
 public:
  BridgeWrapper(QDBusVirtualObject* bridge, const QDBusConnection& bus)
      : QDBusVirtualObject(bridge), m_bridge(bridge), m_bus(bus) {}
  ~BridgeWrapper() override {
    if (m_bus.objectRegisteredAt(QLatin1String(kTreePath)) == this)
      m_bus.unregisterObject(QLatin1String(kTreePath), QDBusConnection::UnregisterTree);
  }

  QString introspect(const QString& path) const override {
    return m_bridge ? m_bridge->introspect(path) : QString();
  }

  bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override {
    QAccessibleInterface* iface = InterfaceAt(message.path());
    if (iface && iface->isValid() && Answer(iface, message, connection)) return true;
    return m_bridge && m_bridge->handleMessage(message, connection);
  }

 private:
  // Answers the calls this extension changes; false hands the call to the bridge.
  bool Answer(QAccessibleInterface* iface, const QDBusMessage& message,
              const QDBusConnection& connection) {
    QString interface = message.interface();
    QString member = message.member();
    const QList<QVariant> args = message.arguments();
    if (interface == QLatin1String(kProperties)) {
      // A property read is answered as the bridge does: as "Get" + the property's name.
      if (member != QLatin1String("Get") || args.size() < 2) return false;
      interface = args[0].toString();
      member = QLatin1String("Get") + args[1].toString();
    }
    const bool property = message.interface() == QLatin1String(kProperties);
    const int index = args.isEmpty() ? -1 : args[0].toInt();
    auto reply = [&](const QVariant& value) {
      const QVariant out = property ? QVariant::fromValue(QDBusVariant(value)) : value;
      return connection.send(message.createReply(out));
    };

    const bool selection = OffersSelection(iface);
    const bool ownActionsOnly = iface->valueInterface() != nullptr;
    if (interface == QLatin1String(kAccessible)) {
      if (member != QLatin1String("GetInterfaces") || !(selection || ownActionsOnly)) return false;
      return reply(Interfaces(iface));
    }
    if (interface == QLatin1String(kSelection) && selection)
      return AnswerSelection(iface, member, index, connection.baseService(), reply);
    if (interface == QLatin1String(kAction) && ownActionsOnly) {
      const QStringList own = OwnActions(iface);
      if (member == QLatin1String("GetNActions")) return reply(static_cast<int>(own.size()));
      if (member == QLatin1String("GetActions")) {
        QAccessibleActionInterface* actions = iface->actionInterface();
        QList<ActionEntry> entries;
        for (const QString& name : own) {
          const QStringList keys = actions->keyBindingsForAction(name);
          entries.append({name, actions->localizedActionDescription(name),
                          keys.isEmpty() ? QString() : keys.front()});
        }
        return reply(QVariant::fromValue(entries));
      }
      // Index calls on the bridge's own entries go on to it; beyond them is nothing.
      if (index < static_cast<int>(own.size()) && index >= 0) return false;
      if (member == QLatin1String("DoAction")) return reply(false);
      if (member.startsWith(QLatin1String("Get"))) return reply(QString());
    }
    return false;
  }

  template <typename Reply>
  static bool AnswerSelection(QAccessibleInterface* list, const QString& member, int index,
                              const QString& service, Reply& reply) {
    QList<QAccessibleInterface*> selected;
    for (int i = 0; i < list->childCount(); ++i) {
      QAccessibleInterface* child = list->child(i);
      if (child && child->state().selected) selected.append(child);
    }
    auto isSelected = [&](int i) {
      QAccessibleInterface* child = list->child(i);
      return child && child->state().selected;
    };
    if (member == QLatin1String("GetNSelectedChildren"))
      return reply(static_cast<int>(selected.size()));
    if (member == QLatin1String("GetSelectedChild")) {
      const bool valid = index >= 0 && index < selected.size();
      const ObjectReference ref{service,
                                QDBusObjectPath(valid ? PathOf(selected[index])
                                                      : QStringLiteral("/org/a11y/atspi/null"))};
      return reply(QVariant::fromValue(ref));
    }
    if (member == QLatin1String("IsChildSelected")) return reply(isSelected(index));
    if (member == QLatin1String("SelectChild")) {
      // A tab is selected by opening it, as its press action does.
      QAccessibleInterface* child = list->child(index);
      QAccessibleActionInterface* action = child ? child->actionInterface() : nullptr;
      const QString press = QAccessibleActionInterface::pressAction();
      if (!action || !action->actionNames().contains(press)) return reply(false);
      if (!isSelected(index)) action->doAction(press);
      return reply(true);
    }
    // One tab is always open: nothing can be deselected, and all cannot be selected.
    if (member == QLatin1String("DeselectSelectedChild") ||
        member == QLatin1String("DeselectChild") || member == QLatin1String("SelectAll") ||
        member == QLatin1String("ClearSelection"))
      return reply(false);
    return false;
  }

  QPointer<QDBusVirtualObject> m_bridge;
  QDBusConnection m_bus;
};

// Wraps the bridge's tree on the bus it was registered on; true once it is wrapped.
bool WrapBridge() {
  for (const QString& name : {QStringLiteral("a11y"), QDBusConnection::sessionBus().name()}) {
    QDBusConnection bus(name);
    if (!bus.isConnected()) continue;
    QObject* object = bus.objectRegisteredAt(QLatin1String(kTreePath));
    if (!object) continue;
    if (dynamic_cast<BridgeWrapper*>(object)) return true;
    auto* bridge = qobject_cast<QDBusVirtualObject*>(object);
    if (!bridge || !object->inherits("AtSpiAdaptor")) continue;
    bus.unregisterObject(QLatin1String(kTreePath), QDBusConnection::UnregisterTree);
    auto* wrapper = new BridgeWrapper(bridge, bus);
    if (bus.registerVirtualObject(QLatin1String(kTreePath), wrapper, QDBusConnection::SubPath))
      return true;
    delete wrapper;  // the bridge answers alone again, unchanged
    bus.registerVirtualObject(QLatin1String(kTreePath), bridge, QDBusConnection::SubPath);
    return true;
  }
  return false;
}
}  // namespace
#endif

namespace {

// A text field entered with Tab selects its text while it takes the focus, before the toolkit
// says that it has the focus: a screen reader takes the selection's events for a silent move
// of the focus and then does not announce the field. With a screen reader on, the field takes
// the focus without the selection, and selects its text right after.
class FieldFocusOrder final : public QObject {
 public:
  using QObject::QObject;
  bool eventFilter(QObject* object, QEvent* event) override {
    if (event->type() != QEvent::FocusIn || !object->inherits("QLineEdit") ||
        !QAccessible::isActive())
      return false;
    const Qt::FocusReason reason = static_cast<QFocusEvent*>(event)->reason();
    auto* field = static_cast<QLineEdit*>(object);
    if ((reason != Qt::TabFocusReason && reason != Qt::BacktabFocusReason &&
         reason != Qt::ShortcutFocusReason) ||
        field->hasSelectedText() || !field->inputMask().isEmpty())
      return false;
    QFocusEvent plain(QEvent::FocusIn, Qt::OtherFocusReason);
    QCoreApplication::sendEvent(field, &plain);
    QPointer<QLineEdit> later(field);
    QMetaObject::invokeMethod(
        field,
        [later] {
          if (later && later->hasFocus()) later->selectAll();
        },
        Qt::QueuedConnection);
    return true;
  }
};

#ifndef _WIN32
// The bridge registers its tree right after it turns accessibility on: the wrapping is
// tried as soon as the event loop runs again, before the screen reader's first questions.
class ActivationWatch final : public QAccessible::ActivationObserver {
 public:
  void accessibilityActiveChanged(bool active) override {
    if (active) QTimer::singleShot(0, qApp, [] { WrapBridge(); });
  }
};
#endif

}  // namespace

void ExtendAtSpiBridge() {
  static bool started = false;
  if (started || !qApp) return;
  started = true;
  qApp->installEventFilter(new FieldFocusOrder(qApp));
#ifndef _WIN32
  qDBusRegisterMetaType<ObjectReference>();
  qDBusRegisterMetaType<ActionEntry>();
  qDBusRegisterMetaType<QList<ActionEntry>>();
  static ActivationWatch watch;
  QAccessible::installActivationObserver(&watch);
  if (WrapBridge()) return;
  // Also looked for during the first seconds, in case the bridge turned on before the
  // observer was installed; later the observer alone serves, so an idle program without a
  // screen reader is not woken four times a second.
  auto* timer = new QTimer(qApp);
  timer->setInterval(250);
  QObject::connect(timer, &QTimer::timeout, timer, [timer, tries = 0]() mutable {
    if (WrapBridge() || ++tries == 40) timer->deleteLater();
  });
  timer->start();
#endif
}
