#include "DialogTestSupport.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>

#include <gtest/gtest.h>

#include <thread>

#include "client/requests/COrvAppCtrl.h"
#include "controls/CMessageBoxDialog.h"

namespace orvtest {

namespace {
CMessageBoxDialog* g_answering = nullptr;  // the box a catcher is answering
}  // namespace

MessageBoxCatcher::MessageBoxCatcher(std::function<void()> onShow) {
  onBox = [onShow = std::move(onShow)](CMessageBoxDialog& box) {
    g_answering = &box;
    if (onShow) onShow();
    g_answering = nullptr;
    return static_cast<int>(CMessageBoxDialog::kIdOk);
  };
}

QStringList MessageBoxCatcher::Texts() const {
  QStringList texts;
  for (const ShownBox& box : shown_boxes) texts << box.text;
  return texts;
}

QStringList MessageBoxCatcher::Captions() const {
  QStringList captions;
  for (const ShownBox& box : shown_boxes) captions << box.title;
  return captions;
}

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
  if (g_answering != nullptr) SaveShot(*g_answering, name);
}

}  // namespace orvtest
