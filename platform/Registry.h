#pragma once
// The HKEY_LOCAL_MACHINE hive the product reads, kept as a directory tree.
//
// Root: $ORVANTA_REGISTRY_ROOT, else $XDG_DATA_HOME/orvanta/registry, else
// ~/.local/share/orvanta/registry. One directory per key; key and value names compare
// case-insensitively (ASCII) and keep the case they were created with. Values are typed
// and stored in one file per key, written atomically. Key paths are relative to the
// hive and use backslashes ("SOFTWARE\Microsoft\Windows\CurrentVersion\Uninstall").
// Names and data are UTF-8.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace plat::reg {

enum class ValueType { Sz = 1, ExpandSz = 2, Dword = 4 };

struct Value {
  std::string name;  // "" is the key's default value
  ValueType type = ValueType::Sz;
  std::string text;         // REG_SZ / REG_EXPAND_SZ data
  std::uint32_t dword = 0;  // REG_DWORD data
};

// Keys nest at most this deep (as on Windows); deeper paths are refused.
inline constexpr std::size_t kMaxKeyDepth = 512;
// The names of a key path, split at backslashes (empty names dropped).
std::vector<std::string> SplitKeyPath(const std::string& keyPath);
// Number of names in a key path.
std::size_t KeyDepth(const std::string& keyPath);

std::string RootDirectory();

bool KeyExists(const std::string& keyPath);
// Creates the key and every missing parent; on failure (too deep included) nothing is
// created.
bool CreateKey(const std::string& keyPath);
// Deletes the key with all its sub-keys and values.
bool DeleteKey(const std::string& keyPath);
std::vector<std::string> EnumSubKeys(const std::string& keyPath);  // sorted by name
// Visits the key and every key below it, depth first, sub-keys in EnumSubKeys order, with
// the key's path (keyPath joined with the sub-key names) and its values. Linear in the
// number of keys. False when the key does not exist.
bool WalkKeys(
    const std::string& keyPath,
    const std::function<void(const std::string& path, const std::vector<Value>& values)>& visit);

std::optional<Value> ReadValue(const std::string& keyPath, const std::string& name);
std::vector<Value> EnumValues(const std::string& keyPath);
// Creates the key as needed.
bool WriteValue(const std::string& keyPath, const Value& value);
bool DeleteValue(const std::string& keyPath, const std::string& name);
bool DeleteAllValues(const std::string& keyPath);

// Watches a key and its whole subtree for every change a reader of the subtree can see:
//  - a sub-key created, deleted or renamed anywhere below the key;
//  - a value set (created or overwritten, even with the same data) or deleted in the key
//    or in any key below it, sub-keys created after Open() included.
// On Windows: RegNotifyChangeKeyValue on the key with bWatchSubtree = TRUE and
// REG_NOTIFY_CHANGE_NAME | REG_NOTIFY_CHANGE_LAST_SET, asynchronous with an event.
// No change is lost between waits: a change made after Open() returned is reported by a
// Wait that returns after it, even when it came while no Wait was blocked (on Windows the
// notification is registered again before Wait returns 1, not when the next Wait starts).
// One wake-up may stand for many changes, and a wake-up with nothing visibly changed is
// allowed: the caller reads the registry again after a wake-up, never the change itself.
// Reading never wakes it (a caller woken by its own reads would never rest).
class KeyWatch {
 public:
  KeyWatch();
  ~KeyWatch();
  KeyWatch(const KeyWatch&) = delete;
  KeyWatch& operator=(const KeyWatch&) = delete;

  // Opens the key for notification; false when the key does not exist.
  bool Open(const std::string& keyPath);
  // Blocks until one of the changes above happens (or happened since the last Wait).
  // Returns 1 on a change, 0 on timeout (timeoutMs >= 0), -1 on failure or after Cancel().
  // When the watched key itself is deleted, Wait returns 1 once, then -1.
  int Wait(int timeoutMs = -1);
  // Wakes a blocked Wait (from any thread); later waits fail.
  void Cancel();

 private:
  struct Impl;
  std::unique_ptr<Impl> m_impl;
};

}  // namespace plat::reg
