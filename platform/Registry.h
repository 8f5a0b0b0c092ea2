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

// Watches a key and its whole subtree for sub-key creation and deletion
// (REG_NOTIFY_CHANGE_NAME with the subtree flag).
class KeyWatch {
 public:
  KeyWatch();
  ~KeyWatch();
  KeyWatch(const KeyWatch&) = delete;
  KeyWatch& operator=(const KeyWatch&) = delete;

  // Opens the key for notification; false when the key does not exist.
  bool Open(const std::string& keyPath);
  // Blocks until a sub-key anywhere below the key is created or deleted.
  // Returns 1 on a change, 0 on timeout (timeoutMs >= 0), -1 on failure or after Cancel().
  int Wait(int timeoutMs = -1);
  // Wakes a blocked Wait (from any thread); later waits fail.
  void Cancel();

 private:
  struct Impl;
  std::unique_ptr<Impl> m_impl;
};

}  // namespace plat::reg
