#include "client/base/MachineRegistry.h"

#include <atomic>
#include <chrono>
#include <memory>
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

namespace {

// What the worker uses; shared with it so that a watcher stopped (or destroyed) from its
// own callback leaves the worker valid state to finish with.
struct WatchState {
  std::function<void()> onChange;
  int settleMs = 1000;
  plat::reg::KeyWatch watch;
  std::atomic<bool> stop{false};

  void Run() {
    using Clock = std::chrono::steady_clock;
    while (!stop) {
      if (watch.Wait(-1) != 1) break;
      // An installer writes its key and values one call after another, with pauses of any
      // length between them. Every further change starts the settle time again, so the
      // callback reads the entry once the writes have stopped; changes that came after the
      // last read wake the next round. Under writes that never pause the callback still
      // comes after at most kMaxSettles settle times.
      const auto latest = Clock::now() + std::chrono::milliseconds(settleMs) * kMaxSettles;
      int quiet;
      while ((quiet = watch.Wait(settleMs)) == 1 && Clock::now() < latest) {
      }
      if (stop) break;
      if (onChange) onChange();
      if (quiet < 0) break;  // the Uninstall key itself went away (the callback saw it)
    }
  }

  static constexpr int kMaxSettles = 10;
};

}  // namespace

struct UninstallKeyWatcher::Impl {
  std::shared_ptr<WatchState> state = std::make_shared<WatchState>();
  std::thread worker;
};

UninstallKeyWatcher::UninstallKeyWatcher(std::function<void()> onChange, int settleMs)
    : m_impl(std::make_unique<Impl>()) {
  m_impl->state->onChange = std::move(onChange);
  m_impl->state->settleMs = settleMs;
}

UninstallKeyWatcher::~UninstallKeyWatcher() { Stop(); }

bool UninstallKeyWatcher::Start() {
  if (m_impl->worker.joinable()) return true;
  ParsedRegistryPath key =
      ParseRegistryPath("HKEY_LOCAL_MACHINE\\" + MachineSoftwareKey(kUninstallPath));
  if (key.root != RegistryRoot::LocalMachine) return false;
  // The Uninstall key always exists on Windows; a fresh registry store lacks it until the
  // first installer registers, and that first installation must be seen too.
  const std::string subKey = WithoutTrailingBackslashes(key.subKey);
  if (!plat::reg::KeyExists(subKey) && !plat::reg::CreateKey(subKey)) return false;
  if (!m_impl->state->watch.Open(subKey)) return false;
  m_impl->state->stop = false;
  m_impl->worker = std::thread([state = m_impl->state] { state->Run(); });
  return true;
}

void UninstallKeyWatcher::Stop() {
  WatchState& state = *m_impl->state;
  state.stop = true;
  state.watch.Cancel();
  if (!m_impl->worker.joinable()) return;
  // Called from the callback: the worker ends by itself once the callback returns.
  if (m_impl->worker.get_id() == std::this_thread::get_id())
    m_impl->worker.detach();
  else
    m_impl->worker.join();
}
