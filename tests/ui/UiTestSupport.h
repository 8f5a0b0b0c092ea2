#pragma once
// Helpers of the widget tests that wait while the Qt event loop runs.
#include <QElapsedTimer>
#include <QTest>

#include <functional>

namespace orvtest {

// Runs the event loop, 20 ms at a time, until pred holds; false when `ms` pass first.
inline bool WaitPumping(const std::function<bool()>& pred, int ms = 20000) {
  QElapsedTimer timer;
  timer.start();
  while (!pred()) {
    if (timer.elapsed() > ms) return false;
    QTest::qWait(20);
  }
  return true;
}

}  // namespace orvtest
