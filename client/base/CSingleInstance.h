#pragma once
// Admits one client per user session. The first instance holds the named lock for its
// whole life and publishes its window once it exists; a second instance waits for the
// publication, asks the first to restore and raise its window, and ends.
#include <functional>
#include <memory>
#include <string>

namespace plat {
class InstanceLock;
}

class CSingleInstance {
 public:
  static constexpr const char* kMutexName = "{B358ACA9-0D85-4518-B852-722B9460F6F5}";

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
