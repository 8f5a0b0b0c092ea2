#pragma once
// Admits one client per user session. The first instance holds the named lock for its
// whole life and publishes its window once it exists; a second instance waits for the
// publication (a bounded time), asks the first to restore and raise its window, and ends.
#include <functional>
#include <memory>
#include <string>

namespace plat {
class InstanceLock;
}

class CSingleInstance {
 public:
  static constexpr const char* kMutexName = "{B358ACA9-0D85-4518-B852-722B9460F6F5}";
  // How long a second start waits for the first to answer before giving up.
  static constexpr int kSecondStartWaitMs = 10000;
  // The second start's exit code when the first instance did not answer in time.
  static constexpr int kNotAnsweringExitCode = 1;
  // What the second start then tells the user.
  static constexpr const char* kNotAnsweringText =
      "Orvanta 已在运行，但没有响应。请关闭正在运行的 Orvanta 后再启动。";

  explicit CSingleInstance(std::string name = kMutexName);
  ~CSingleInstance();  // Close()
  CSingleInstance(const CSingleInstance&) = delete;
  CSingleInstance& operator=(const CSingleInstance&) = delete;

  // True: this is the first instance (it now owns the lock).
  bool Check();
  // First instance, once its window exists: onActivate runs (on a listener thread) each
  // time another start asks for the window. False when the publication failed.
  bool Publish(std::function<void()> onActivate);
  // Second instance: waits up to timeoutMs (-1 forever) for the publication and asks the
  // first instance to restore its window. False on failure.
  bool Find(int timeoutMs = -1);
  // Releases everything; the next start becomes the first instance.
  void Close();

  const std::string& MutexName() const { return m_mutexName; }
  std::string MappingName() const { return m_mutexName + "_MapFile"; }

 private:
  std::string m_mutexName;
  std::unique_ptr<plat::InstanceLock> m_lock;
};
