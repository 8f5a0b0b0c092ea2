#include "DialogTestSupport.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QLabel>
#include <QTimer>

#include <gtest/gtest.h>

#include <thread>

#include "client/requests/COrvAppCtrl.h"
#include "controls/CMessageBoxDialog.h"

namespace orvtest {

struct MessageBoxCatcher::Impl {
  QTimer timer;
};

MessageBoxCatcher::MessageBoxCatcher(std::function<void()> onShow)
    : m_impl(std::make_unique<Impl>()), m_onShow(std::move(onShow)) {
  m_impl->timer.setInterval(10);
  QObject::connect(&m_impl->timer, &QTimer::timeout, [this] {
    for (QWidget* w : QApplication::topLevelWidgets()) {
      auto* box = qobject_cast<CMessageBoxDialog*>(w);
      if (box == nullptr || !box->isVisible()) continue;
      QString text;
      for (QLabel* label : box->findChildren<QLabel*>()) {
        if (!label->text().isEmpty()) text = label->text();
      }
      m_texts << text;
      m_captions << box->windowTitle();
      if (m_onShow) m_onShow();
      box->EndWith(CMessageBoxDialog::kIdOk);
    }
  });
  m_impl->timer.start();
}

MessageBoxCatcher::~MessageBoxCatcher() = default;

bool ProcessUntil(const std::function<bool()>& pred, std::chrono::milliseconds timeout) {
  QElapsedTimer clock;
  clock.start();
  while (!pred()) {
    if (clock.elapsed() > timeout.count()) return pred();
    QApplication::processEvents(QEventLoop::AllEvents, 10);
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  return true;
}

void ProcessFor(std::chrono::milliseconds time) {
  ProcessUntil([] { return false; }, time);
}

std::string SimPlatform::Control(const std::string& pathAndQuery) const {
  const auto it = m_sim.Hosts().find("ORVANTA_SIM_CONTROL");
  if (it == m_sim.Hosts().end()) return {};
  return COrvAppCtrl::HttpGetText("http://" + it->second + pathAndQuery);
}

void ExpectEveryReachableControlNamed(QWidget& top) {
  for (QWidget* w : top.findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly)) {
    if (w->focusPolicy() == Qt::NoFocus || !w->isVisibleTo(&top)) continue;
    EXPECT_FALSE(w->accessibleName().isEmpty())
        << w->metaObject()->className() << " " << w->objectName().toStdString();
  }
}

void SaveShot(QWidget& widget, const QString& name) {
  const QString dir = qEnvironmentVariable("ORV_UI_SHOTS");
  if (dir.isEmpty()) return;
  QDir().mkpath(dir);
  widget.grab().save(dir + QLatin1Char('/') + name + QStringLiteral(".png"));
}

void SaveShownMessageBox(const QString& name) {
  for (QWidget* w : QApplication::topLevelWidgets()) {
    auto* box = qobject_cast<CMessageBoxDialog*>(w);
    if (box != nullptr && box->isVisible()) SaveShot(*box, name);
  }
}

}  // namespace orvtest
