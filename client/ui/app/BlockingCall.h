#pragma once
// Runs a blocking core call for a handler that must wait for it (a list request, the login
// exchange, a service-desk request) without freezing the window: the call runs on its own
// thread while the GUI thread waits in a local event loop that keeps painting and takes no
// user input, so nothing re-enters the handler. Returns the call's result.
#include <QCoreApplication>
#include <QEventLoop>
#include <QThread>

#include <optional>
#include <type_traits>
#include <utility>

template <class Work>
auto RunKeepingPainted(Work&& work) -> std::invoke_result_t<Work&> {
  using Result = std::invoke_result_t<Work&>;
  QCoreApplication* app = QCoreApplication::instance();
  if (app == nullptr || QThread::currentThread() != app->thread()) return work();

  QEventLoop loop;
  std::optional<std::conditional_t<std::is_void_v<Result>, bool, Result>> result;
  QThread* thread = QThread::create([&] {
    if constexpr (std::is_void_v<Result>) {
      work();
      result = true;
    } else {
      result.emplace(work());
    }
  });
  QObject::connect(thread, &QThread::finished, &loop, &QEventLoop::quit, Qt::QueuedConnection);
  thread->start();
  if (!thread->isFinished()) loop.exec(QEventLoop::ExcludeUserInputEvents);
  thread->wait();
  delete thread;
  if constexpr (!std::is_void_v<Result>) return std::move(*result);
}
