#pragma once
// Helpers of the dialog tests: answering the product's message boxes, waiting while the
// event loop runs, the stand-in platform, and saving what a widget draws.
#include <QString>
#include <QStringList>

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "tests/support/TestSupport.h"
#include "ui/MessageBoxAnswers.h"

class QWidget;

namespace orvtest {

// Answers every message box of the product shown while it lives (OK), recording its text
// and caption; `onShow` runs first, while the box is up.
class MessageBoxCatcher : public BoxAnswers {
 public:
  explicit MessageBoxCatcher(std::function<void()> onShow = {});
  QStringList Texts() const;
  QStringList Captions() const;
};

// Runs the event loop until pred holds or the timeout passes; its last value.
bool ProcessUntil(const std::function<bool()>& pred,
                  std::chrono::milliseconds timeout = std::chrono::seconds(15));
// Runs the event loop for a while.
void ProcessFor(std::chrono::milliseconds time);

// The stand-in platform (PlatformSim) with its variables set for the lifetime of the object.
class SimPlatform {
 public:
  SimPlatform() : m_env(m_sim.ExportHosts()) {}
  bool Started() const { return m_sim.Started(); }
  // GET of the control endpoint's path ("/records?kind=workorder"): the body.
  std::string Control(const std::string& pathAndQuery) const;

 private:
  PlatformSim m_sim;
  std::vector<std::unique_ptr<ScopedEnv>> m_env;
};

// Every control of `top` that a user can reach (focusable, shown, a direct child) has an
// accessible name.
void ExpectEveryReachableControlNamed(QWidget& top);

// Saves the widget's picture as NAME.png under $ORV_UI_SHOTS when that is set.
void SaveShot(QWidget& widget, const QString& name);
// Saves the product's message box being answered (inside a MessageBoxCatcher's onShow), as
// SaveShot does.
void SaveShownMessageBox(const QString& name);

}  // namespace orvtest
