#include "client/base/MachineRegistry.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "platform/Registry.h"
#include "platform/SystemInfo.h"

const char* const kUninstallPath = "Microsoft\\Windows\\CurrentVersion\\Uninstall\\";

namespace {

struct RootName {
  const char* name;
  RegistryRoot root;
};

constexpr RootName kRootNames[] = {
    {"HKEY_CLASSES_ROOT", RegistryRoot::ClassesRoot},
    {"HKEY_CURRENT_CONFIG", RegistryRoot::CurrentConfig},
    {"HKEY_CURRENT_USER", RegistryRoot::CurrentUser},
    {"HKEY_LOCAL_MACHINE", RegistryRoot::LocalMachine},
    {"HKEY_USERS", RegistryRoot::Users},
};

std::string WithoutTrailingBackslashes(std::string path) {
  while (!path.empty() && path.back() == '\\') path.pop_back();
  return path;
}

}  // namespace

bool IsWow64() { return plat::IsWow64Process(); }

std::string MachineSoftwareKey(const std::string& path) {
  return (IsWow64() ? "SOFTWARE\\Wow6432Node\\" : "SOFTWARE\\") + path;
}

std::string ReadMachineValue(const std::string& path, const std::string& name) {
  auto value = plat::reg::ReadValue(WithoutTrailingBackslashes(MachineSoftwareKey(path)), name);
  if (!value) return {};
  if (value->type == plat::reg::ValueType::Dword) return std::to_string(value->dword);
  return value->text;
}

ParsedRegistryPath ParseRegistryPath(const std::string& text) {
  ParsedRegistryPath parsed;
  auto slash = text.find('\\');
  if (slash == std::string::npos) return parsed;
  const std::string rootName = text.substr(0, slash);
  for (const auto& r : kRootNames) {
    if (rootName == r.name) {
      parsed.root = r.root;
      auto start = text.find_first_not_of('\\', slash);
      parsed.subKey = start == std::string::npos ? std::string() : text.substr(start);
      break;
    }
  }
  return parsed;
}

std::string ReadUninstallValue(const std::string& code, const std::string& name) {
  // Without a code the lookup would address the Uninstall key itself.
  if (code.empty()) return {};
  return ReadMachineValue(std::string(kUninstallPath) + code, name);
}

struct UninstallKeyWatcher::Impl {
  std::function<void()> onChange;
  int settleMs = 1000;
  plat::reg::KeyWatch watch;
  std::thread worker;
  std::atomic<bool> stop{false};
  std::mutex mutex;
  std::condition_variable wake;

  void Run() {
    while (!stop) {
      if (watch.Wait(-1) != 1) break;
      // Let the installer finish writing its values before the buttons look at them.
      {
        std::unique_lock lock(mutex);
        if (wake.wait_for(lock, std::chrono::milliseconds(settleMs),
                          [this] { return stop.load(); }))
          break;
      }
      if (onChange) onChange();
    }
  }
};

UninstallKeyWatcher::UninstallKeyWatcher(std::function<void()> onChange, int settleMs)
    : m_impl(std::make_unique<Impl>()) {
  m_impl->onChange = std::move(onChange);
  m_impl->settleMs = settleMs;
}

UninstallKeyWatcher::~UninstallKeyWatcher() { Stop(); }

bool UninstallKeyWatcher::Start() {
  if (m_impl->worker.joinable()) return true;
  ParsedRegistryPath key =
      ParseRegistryPath("HKEY_LOCAL_MACHINE\\" + MachineSoftwareKey(kUninstallPath));
  if (key.root != RegistryRoot::LocalMachine) return false;
  if (!m_impl->watch.Open(WithoutTrailingBackslashes(key.subKey))) return false;
  m_impl->stop = false;
  m_impl->worker = std::thread([impl = m_impl.get()] { impl->Run(); });
  return true;
}

void UninstallKeyWatcher::Stop() {
  {
    std::lock_guard lock(m_impl->mutex);
    m_impl->stop = true;
  }
  m_impl->wake.notify_all();
  m_impl->watch.Cancel();
  if (m_impl->worker.joinable()) m_impl->worker.join();
}
