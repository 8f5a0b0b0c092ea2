#pragma once
// Registry lookups of the client: the machine software key, value reads and the
// Uninstall key of installed applications. All text is UTF-8.
#include <functional>
#include <memory>
#include <string>

enum class RegistryRoot { None, ClassesRoot, CurrentConfig, CurrentUser, LocalMachine, Users };

struct ParsedRegistryPath {
  RegistryRoot root = RegistryRoot::None;
  std::string subKey;
};

// True on 64-bit Windows (here: when ORVANTA_WOW64=1).
bool IsWow64();
// "SOFTWARE\Wow6432Node\" + path on 64-bit Windows, else "SOFTWARE\" + path.
std::string MachineSoftwareKey(const std::string& path);
// HKLM \ MachineSoftwareKey(path) value `name`; "" when key or value is missing.
// Values of any length are returned (Linux paths can be long).
std::string ReadMachineValue(const std::string& path, const std::string& name);
// Root name (exact case) + backslash + sub-key; the sub-key loses its leading backslashes.
ParsedRegistryPath ParseRegistryPath(const std::string& text);

// "Microsoft\Windows\CurrentVersion\Uninstall\"
extern const char* const kUninstallPath;
// Value of the Uninstall entry of an application code ("DisplayName", "UninstallString", ...).
std::string ReadUninstallValue(const std::string& code, const std::string& name);

// Watches the Uninstall key on a worker thread for every change that can alter an
// application's install state: an entry created or deleted, a value written or deleted in
// any entry. After a change it waits until no further change came for settleMs (each one
// starts the wait again, up to 10 settle times under writes that never pause), then calls
// onChange on the worker thread; a change during or after the callback leads to another.
// At rest the worker blocks without polling. Stop() (or destruction) ends the worker.
class UninstallKeyWatcher {
 public:
  explicit UninstallKeyWatcher(std::function<void()> onChange, int settleMs = 1000);
  ~UninstallKeyWatcher();
  UninstallKeyWatcher(const UninstallKeyWatcher&) = delete;
  UninstallKeyWatcher& operator=(const UninstallKeyWatcher&) = delete;
  // Starts the worker, creating the Uninstall key when the store lacks it; false when the
  // key cannot be created or opened.
  bool Start();
  void Stop();

 private:
  struct Impl;
  std::unique_ptr<Impl> m_impl;
};
