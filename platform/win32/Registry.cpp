#include "platform/Registry.h"

#include "platform/AsciiCase.h"
#include "platform/win32/WinText.h"

#include <windows.h>

#include <algorithm>
#include <cstring>

// The real HKEY_LOCAL_MACHINE. Key paths are taken literally in the registry's 64-bit view:
// the described program is a 32-bit one whose Uninstall list on 64-bit Windows is the
// "SOFTWARE\Wow6432Node\..." branch, and the callers name that branch themselves (see
// IsWow64Process), so the system must not redirect it once more.

namespace plat::reg {
namespace {

constexpr REGSAM kView = KEY_WOW64_64KEY;

// The path in the form the registry takes: no empty names, single backslashes.
std::wstring KeyPathW(const std::string& keyPath) {
  std::string joined;
  for (const std::string& p : SplitKeyPath(keyPath)) {
    if (!joined.empty()) joined += '\\';
    joined += p;
  }
  return win::Widen(joined);
}

class Key {
 public:
  Key() = default;
  ~Key() {
    if (m_key) RegCloseKey(m_key);
  }
  Key(const Key&) = delete;
  Key& operator=(const Key&) = delete;
  Key(Key&& o) noexcept : m_key(o.m_key) { o.m_key = nullptr; }
  Key& operator=(Key&& o) noexcept {
    if (this != &o) {
      if (m_key) RegCloseKey(m_key);
      m_key = o.m_key;
      o.m_key = nullptr;
    }
    return *this;
  }

  bool Open(const std::string& keyPath, REGSAM access) {
    return RegOpenKeyExW(HKEY_LOCAL_MACHINE, KeyPathW(keyPath).c_str(), 0, access | kView,
                         &m_key) == ERROR_SUCCESS;
  }
  bool OpenChild(HKEY parent, const std::wstring& name, REGSAM access) {
    return RegOpenKeyExW(parent, name.c_str(), 0, access | kView, &m_key) == ERROR_SUCCESS;
  }
  bool Create(const std::string& keyPath, REGSAM access) {
    return RegCreateKeyExW(HKEY_LOCAL_MACHINE, KeyPathW(keyPath).c_str(), 0, nullptr,
                           REG_OPTION_NON_VOLATILE, access | kView, nullptr, &m_key,
                           nullptr) == ERROR_SUCCESS;
  }
  HKEY get() const { return m_key; }

 private:
  HKEY m_key = nullptr;
};

bool KeyNameLess(const std::string& a, const std::string& b) {
  std::string fa = AsciiLower(a), fb = AsciiLower(b);
  return fa != fb ? fa < fb : a < b;
}

std::vector<std::string> SubKeyNames(HKEY key) {
  std::vector<std::string> names;
  DWORD count = 0, maxLen = 0;
  if (RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, &count, &maxLen, nullptr, nullptr, nullptr,
                       nullptr, nullptr, nullptr) != ERROR_SUCCESS)
    return names;
  std::wstring buf(maxLen + 2, L'\0');
  for (DWORD i = 0;; ++i) {
    DWORD len = static_cast<DWORD>(buf.size());
    LSTATUS rc = RegEnumKeyExW(key, i, buf.data(), &len, nullptr, nullptr, nullptr, nullptr);
    if (rc == ERROR_MORE_DATA) {
      buf.resize(buf.size() * 2);
      --i;
      continue;
    }
    if (rc != ERROR_SUCCESS) break;
    names.push_back(win::Narrow(std::wstring_view(buf.data(), len)));
  }
  std::sort(names.begin(), names.end(), KeyNameLess);
  return names;
}

// String data as stored: up to the first NUL (data written by others may lack one).
std::string StringData(const std::vector<BYTE>& data) {
  std::wstring_view w(reinterpret_cast<const wchar_t*>(data.data()), data.size() / sizeof(wchar_t));
  if (auto nul = w.find(L'\0'); nul != std::wstring_view::npos) w = w.substr(0, nul);
  return win::Narrow(w);
}

// The value's typed content; nullopt for types the product does not use.
std::optional<Value> MakeValue(std::string name, DWORD type, const std::vector<BYTE>& data) {
  Value v;
  v.name = std::move(name);
  switch (type) {
    case REG_SZ:
    case REG_EXPAND_SZ:
      v.type = type == REG_SZ ? ValueType::Sz : ValueType::ExpandSz;
      v.text = StringData(data);
      return v;
    case REG_DWORD:
      if (data.size() < sizeof(DWORD)) return std::nullopt;
      v.type = ValueType::Dword;
      std::memcpy(&v.dword, data.data(), sizeof(DWORD));
      return v;
    default:
      return std::nullopt;
  }
}

std::vector<Value> ValuesOf(HKEY key) {
  std::vector<Value> values;
  DWORD count = 0, maxName = 0, maxData = 0;
  if (RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &count, &maxName,
                       &maxData, nullptr, nullptr) != ERROR_SUCCESS)
    return values;
  std::wstring name(maxName + 2, L'\0');
  std::vector<BYTE> data(maxData + 2);
  for (DWORD i = 0;; ++i) {
    DWORD nameLen = static_cast<DWORD>(name.size());
    DWORD dataLen = static_cast<DWORD>(data.size());
    DWORD type = 0;
    LSTATUS rc =
        RegEnumValueW(key, i, name.data(), &nameLen, nullptr, &type, data.data(), &dataLen);
    if (rc == ERROR_MORE_DATA) {
      // changed since the query: grow and read this index again
      name.resize(name.size() * 2 + 64);
      data.resize(data.size() * 2 + 64);
      --i;
      continue;
    }
    if (rc != ERROR_SUCCESS) break;
    std::vector<BYTE> bytes(data.begin(), data.begin() + dataLen);
    if (auto v = MakeValue(win::Narrow(std::wstring_view(name.data(), nameLen)), type, bytes))
      values.push_back(std::move(*v));
  }
  return values;
}

}  // namespace

std::string RootDirectory() { return "HKEY_LOCAL_MACHINE"; }

bool KeyExists(const std::string& keyPath) {
  Key k;
  return k.Open(keyPath, KEY_READ);
}

bool CreateKey(const std::string& keyPath) {
  if (KeyDepth(keyPath) > kMaxKeyDepth) return false;
  Key k;
  return k.Create(keyPath, KEY_READ);
}

bool DeleteKey(const std::string& keyPath) {
  const std::vector<std::string> parts = SplitKeyPath(keyPath);
  if (parts.empty()) return false;  // never the whole hive
  std::string parent;
  for (std::size_t i = 0; i + 1 < parts.size(); ++i) parent += parts[i] + "\\";
  Key p;
  if (!p.Open(parent, KEY_READ | KEY_WRITE)) return false;
  const std::wstring name = win::Widen(parts.back());
  // The sub-keys first (RegDeleteTreeW), then the key itself in the same view.
  Key k;
  if (!k.OpenChild(p.get(), name, KEY_READ | KEY_WRITE | DELETE)) return false;
  if (RegDeleteTreeW(k.get(), nullptr) != ERROR_SUCCESS) return false;
  return RegDeleteKeyExW(p.get(), name.c_str(), kView, 0) == ERROR_SUCCESS;
}

std::vector<std::string> EnumSubKeys(const std::string& keyPath) {
  Key k;
  if (!k.Open(keyPath, KEY_READ)) return {};
  return SubKeyNames(k.get());
}

bool WalkKeys(const std::string& keyPath,
              const std::function<void(const std::string&, const std::vector<Value>&)>& visit) {
  Key start;
  if (!start.Open(keyPath, KEY_READ)) return false;
  struct Item {
    std::string path;
    Key key;
  };
  std::vector<Item> stack;
  stack.push_back({keyPath, std::move(start)});
  while (!stack.empty()) {
    Item item = std::move(stack.back());
    stack.pop_back();
    visit(item.path, ValuesOf(item.key.get()));
    const std::vector<std::string> children = SubKeyNames(item.key.get());
    const std::string prefix = item.path.empty() ? std::string() : item.path + "\\";
    for (auto it = children.rbegin(); it != children.rend(); ++it) {
      Key child;
      if (child.OpenChild(item.key.get(), win::Widen(*it), KEY_READ))
        stack.push_back({prefix + *it, std::move(child)});
    }
  }
  return true;
}

std::optional<Value> ReadValue(const std::string& keyPath, const std::string& name) {
  Key k;
  if (!k.Open(keyPath, KEY_QUERY_VALUE)) return std::nullopt;
  const std::wstring wname = win::Widen(name);
  std::vector<BYTE> data(512);
  for (;;) {
    DWORD type = 0, len = static_cast<DWORD>(data.size());
    LSTATUS rc = RegQueryValueExW(k.get(), wname.c_str(), nullptr, &type, data.data(), &len);
    if (rc == ERROR_MORE_DATA) {
      data.resize(len + 2);
      continue;
    }
    if (rc != ERROR_SUCCESS) return std::nullopt;
    data.resize(len);
    // The value keeps the name as it was created: take it from the key's own list.
    std::string stored = name;
    for (const Value& v : ValuesOf(k.get()))
      if (AsciiIEquals(v.name, name)) stored = v.name;
    return MakeValue(stored, type, data);
  }
}

std::vector<Value> EnumValues(const std::string& keyPath) {
  Key k;
  if (!k.Open(keyPath, KEY_QUERY_VALUE)) return {};
  return ValuesOf(k.get());
}

bool WriteValue(const std::string& keyPath, const Value& value) {
  if (KeyDepth(keyPath) > kMaxKeyDepth) return false;
  Key k;
  if (!k.Create(keyPath, KEY_SET_VALUE | KEY_QUERY_VALUE)) return false;
  const std::wstring wname = win::Widen(value.name);
  LSTATUS rc;
  if (value.type == ValueType::Dword) {
    DWORD d = value.dword;
    rc = RegSetValueExW(k.get(), wname.c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&d),
                        sizeof d);
  } else {
    const std::wstring text = win::Widen(value.text);
    rc = RegSetValueExW(k.get(), wname.c_str(), 0,
                        value.type == ValueType::Sz ? REG_SZ : REG_EXPAND_SZ,
                        reinterpret_cast<const BYTE*>(text.c_str()),
                        static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
  }
  return rc == ERROR_SUCCESS;
}

bool DeleteValue(const std::string& keyPath, const std::string& name) {
  Key k;
  if (!k.Open(keyPath, KEY_SET_VALUE)) return false;
  return RegDeleteValueW(k.get(), win::Widen(name).c_str()) == ERROR_SUCCESS;
}

bool DeleteAllValues(const std::string& keyPath) {
  Key k;
  if (!k.Open(keyPath, KEY_SET_VALUE | KEY_QUERY_VALUE)) return false;
  bool ok = true;
  for (const Value& v : ValuesOf(k.get()))
    ok = RegDeleteValueW(k.get(), win::Widen(v.name).c_str()) == ERROR_SUCCESS && ok;
  return ok;
}

// ---------------------------------------------------------------------------------------
// KeyWatch: RegNotifyChangeKeyValue over the subtree, for sub-key creation and deletion
// and for value writes.

struct KeyWatch::Impl {
  Key key;
  HANDLE changed = nullptr;
  HANDLE cancel = nullptr;
  bool armed = false;
  bool gone = false;

  ~Impl() {
    if (changed) CloseHandle(changed);
    if (cancel) CloseHandle(cancel);
  }

  // Asks for the next change; the notification is one-shot and must be asked for again.
  bool Arm() {
    ResetEvent(changed);
    armed = RegNotifyChangeKeyValue(key.get(), TRUE,
                                    REG_NOTIFY_CHANGE_NAME | REG_NOTIFY_CHANGE_LAST_SET, changed,
                                    TRUE) == ERROR_SUCCESS;
    return armed;
  }
};

KeyWatch::KeyWatch() : m_impl(std::make_unique<Impl>()) {
  m_impl->changed = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  m_impl->cancel = CreateEventW(nullptr, TRUE, FALSE, nullptr);
}

KeyWatch::~KeyWatch() = default;

bool KeyWatch::Open(const std::string& keyPath) {
  if (!m_impl->changed || !m_impl->cancel) return false;
  Key k;
  if (!k.Open(keyPath, KEY_NOTIFY | KEY_READ)) return false;
  m_impl->key = std::move(k);
  return m_impl->Arm();
}

int KeyWatch::Wait(int timeoutMs) {
  if (!m_impl->key.get() || !m_impl->cancel || m_impl->gone) return -1;
  if (WaitForSingleObject(m_impl->cancel, 0) == WAIT_OBJECT_0) return -1;
  if (!m_impl->armed && !m_impl->Arm()) return -1;
  HANDLE waits[2] = {m_impl->cancel, m_impl->changed};
  // Waited for in slices: the deletion of the watched key itself is not signalled by every
  // implementation, so between slices the key is asked whether it still exists.
  const ULONGLONG start = GetTickCount64();
  for (;;) {
    DWORD slice = 250;
    if (timeoutMs >= 0) {
      ULONGLONG spent = GetTickCount64() - start;
      if (spent >= static_cast<ULONGLONG>(timeoutMs)) return 0;
      slice = static_cast<DWORD>(std::min<ULONGLONG>(slice, timeoutMs - spent));
    }
    DWORD r = WaitForMultipleObjects(2, waits, FALSE, slice);
    if (r == WAIT_OBJECT_0 + 1) {
      m_impl->armed = false;
      m_impl->Arm();
      return 1;
    }
    if (r != WAIT_TIMEOUT) return -1;
    if (RegQueryInfoKeyW(m_impl->key.get(), nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                         nullptr, nullptr, nullptr, nullptr, nullptr) == ERROR_KEY_DELETED) {
      m_impl->gone = true;  // reported once as a change; later waits fail
      return 1;
    }
  }
}

void KeyWatch::Cancel() {
  if (m_impl->cancel) SetEvent(m_impl->cancel);
}

}  // namespace plat::reg
