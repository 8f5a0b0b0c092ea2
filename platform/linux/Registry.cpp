#include "platform/Registry.h"

#include "platform/AsciiCase.h"

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <pwd.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <string_view>

// Layout of the store under the root directory:
//
//   <root>/SOFTWARE/Vendor/App/.values   one directory per key, its values in ".values"
//   <root>/.lock                         lock file taken by every change to the store
//
// Directory names are the key names as created, with '%', '/' and NUL written as "%25",
// "%2F" and "%00", and a leading '.' as "%2E"; so no key directory starts with '.', and
// every name starting with '.' belongs to the store itself.
//
// ".values" is text, one value per line, after a first line "# orvanta registry 1":
//
//   TYPE <TAB> NAME <TAB> DATA <LF>
//
// TYPE is REG_SZ, REG_EXPAND_SZ or REG_DWORD; NAME is "" for the default value; DATA of a
// REG_DWORD is decimal. In NAME and DATA a backslash, tab, line feed, carriage return and
// NUL are written "\\", "\t", "\n", "\r" and "\0". Lines that do not parse are skipped.
//
// Changes are serialised between processes by flock on <root>/.lock; a value file is
// replaced by rename, so readers (which take no lock) see the old or the new file whole.
// A deleted key is first renamed out of the tree, so it disappears at once.

namespace plat::reg {
namespace {

namespace fs = std::filesystem;

constexpr const char* kValuesFile = ".values";
constexpr const char* kHeader = "# orvanta registry 1";

using plat::AsciiIEquals;
char Lower(char c) { return plat::AsciiLower(c); }
bool IEquals(std::string_view a, std::string_view b) { return AsciiIEquals(a, b); }

std::string Folded(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = Lower(c);
  return out;
}

std::string EncodeName(std::string_view name) {
  std::string out;
  for (std::size_t i = 0; i < name.size(); ++i) {
    char c = name[i];
    if (c == '%')
      out += "%25";
    else if (c == '/')
      out += "%2F";
    else if (c == '\0')
      out += "%00";
    else if (c == '.' && i == 0)
      out += "%2E";
    else
      out += c;
  }
  return out;
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  c = Lower(c);
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

std::string DecodeName(std::string_view enc) {
  std::string out;
  for (std::size_t i = 0; i < enc.size(); ++i) {
    if (enc[i] == '%' && i + 2 < enc.size() && HexDigit(enc[i + 1]) >= 0 &&
        HexDigit(enc[i + 2]) >= 0) {
      out += static_cast<char>(HexDigit(enc[i + 1]) * 16 + HexDigit(enc[i + 2]));
      i += 2;
    } else {
      out += enc[i];
    }
  }
  return out;
}

bool IsDirectory(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// Key directories directly below `dir`: decoded name -> directory entry name.
std::vector<std::pair<std::string, std::string>> ChildKeys(const std::string& dir) {
  std::vector<std::pair<std::string, std::string>> out;
  DIR* d = opendir(dir.c_str());
  if (!d) return out;
  while (dirent* e = readdir(d)) {
    if (e->d_name[0] == '.') continue;
    std::string entry = e->d_name;
    bool isDir = e->d_type == DT_DIR || (e->d_type == DT_UNKNOWN && IsDirectory(dir + "/" + entry));
    if (isDir) out.emplace_back(DecodeName(entry), entry);
  }
  closedir(d);
  return out;
}

// The directory of one sub-key of `dir` (case-insensitive), or "" when there is none.
std::string FindChild(const std::string& dir, const std::string& name) {
  std::string exact = dir + "/" + EncodeName(name);
  if (IsDirectory(exact)) return exact;
  std::string best;
  for (auto& [decoded, entry] : ChildKeys(dir)) {
    // Of several spellings (only possible if made outside this code), take the first.
    if (IEquals(decoded, name) && (best.empty() || entry < best)) best = entry;
  }
  return best.empty() ? std::string() : dir + "/" + best;
}

std::optional<std::string> ResolveKey(const std::string& keyPath) {
  const std::vector<std::string> parts = SplitKeyPath(keyPath);
  if (parts.size() > kMaxKeyDepth) return std::nullopt;
  std::string dir = RootDirectory();
  if (!IsDirectory(dir)) return std::nullopt;
  for (const std::string& part : parts) {
    dir = FindChild(dir, part);
    if (dir.empty()) return std::nullopt;
  }
  return dir;
}

bool MakeDirs(const std::string& path) {
  std::error_code ec;
  fs::create_directories(path, ec);
  return IsDirectory(path);
}

// Exclusive lock over every change to the store, released on destruction.
class StoreLock {
 public:
  StoreLock() {
    std::string root = RootDirectory();
    if (!MakeDirs(root)) return;
    m_fd = open((root + "/.lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
    if (m_fd < 0) return;
    while (flock(m_fd, LOCK_EX) != 0) {
      if (errno != EINTR) {
        close(m_fd);
        m_fd = -1;
        return;
      }
    }
  }
  ~StoreLock() {
    if (m_fd >= 0) close(m_fd);
  }
  StoreLock(const StoreLock&) = delete;
  StoreLock& operator=(const StoreLock&) = delete;
  bool Held() const { return m_fd >= 0; }

 private:
  int m_fd = -1;
};

// Creates the key's missing directories; the caller holds the store lock. A key deeper
// than kMaxKeyDepth is refused, and a creation that fails part-way removes the levels it
// made: nothing half-made is left behind.
std::optional<std::string> CreateKeyLocked(const std::string& keyPath) {
  const std::vector<std::string> parts = SplitKeyPath(keyPath);
  if (parts.size() > kMaxKeyDepth) return std::nullopt;
  std::string dir = RootDirectory();
  if (!MakeDirs(dir)) return std::nullopt;
  std::vector<std::string> made;
  for (const std::string& part : parts) {
    std::string next = FindChild(dir, part);
    if (next.empty()) {
      next = dir + "/" + EncodeName(part);
      if (mkdir(next.c_str(), 0777) != 0) {
        if (!IsDirectory(next)) {
          for (auto it = made.rbegin(); it != made.rend(); ++it) rmdir(it->c_str());
          return std::nullopt;
        }
      } else {
        made.push_back(next);
      }
    }
    dir = next;
  }
  return dir;
}

std::string Escape(std::string_view s) {
  std::string out;
  for (char c : s) {
    switch (c) {
      case '\\':
        out += "\\\\";
        break;
      case '\t':
        out += "\\t";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\r':
        out += "\\r";
        break;
      case '\0':
        out += "\\0";
        break;
      default:
        out += c;
    }
  }
  return out;
}

std::string Unescape(std::string_view s) {
  std::string out;
  for (std::size_t i = 0; i < s.size(); ++i) {
    if (s[i] != '\\' || i + 1 == s.size()) {
      out += s[i];
      continue;
    }
    char n = s[++i];
    switch (n) {
      case 't':
        out += '\t';
        break;
      case 'n':
        out += '\n';
        break;
      case 'r':
        out += '\r';
        break;
      case '0':
        out += '\0';
        break;
      default:
        out += n;
    }
  }
  return out;
}

const char* TypeName(ValueType t) {
  switch (t) {
    case ValueType::ExpandSz:
      return "REG_EXPAND_SZ";
    case ValueType::Dword:
      return "REG_DWORD";
    case ValueType::Sz:
      break;
  }
  return "REG_SZ";
}

std::optional<ValueType> ParseType(std::string_view s) {
  if (s == "REG_SZ") return ValueType::Sz;
  if (s == "REG_EXPAND_SZ") return ValueType::ExpandSz;
  if (s == "REG_DWORD") return ValueType::Dword;
  return std::nullopt;
}

std::vector<Value> ParseValues(const std::string& content) {
  std::vector<Value> values;
  std::size_t pos = 0;
  while (pos < content.size()) {
    std::size_t nl = content.find('\n', pos);
    std::string_view line(content.data() + pos,
                          (nl == std::string::npos ? content.size() : nl) - pos);
    pos = nl == std::string::npos ? content.size() : nl + 1;
    std::size_t t1 = line.find('\t');
    if (t1 == std::string_view::npos) continue;
    std::size_t t2 = line.find('\t', t1 + 1);
    if (t2 == std::string_view::npos) continue;
    auto type = ParseType(line.substr(0, t1));
    if (!type) continue;
    Value v;
    v.type = *type;
    v.name = Unescape(line.substr(t1 + 1, t2 - t1 - 1));
    std::string data = Unescape(line.substr(t2 + 1));
    if (v.type == ValueType::Dword) {
      char* end = nullptr;
      unsigned long long n = std::strtoull(data.c_str(), &end, 10);
      if (data.empty() || *end != '\0' || n > 0xFFFFFFFFull) continue;
      v.dword = static_cast<std::uint32_t>(n);
    } else {
      v.text = data;
    }
    values.push_back(std::move(v));
  }
  return values;
}

std::string FormatValues(const std::vector<Value>& values) {
  std::string out = std::string(kHeader) + "\n";
  for (const Value& v : values) {
    out += TypeName(v.type);
    out += '\t' + Escape(v.name) + '\t';
    out += v.type == ValueType::Dword ? std::to_string(v.dword) : Escape(v.text);
    out += '\n';
  }
  return out;
}

std::vector<Value> LoadValues(const std::string& keyDir) {
  std::string content;
  int fd = open((keyDir + "/" + kValuesFile).c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return {};
  char buf[8192];
  for (;;) {
    ssize_t n = read(fd, buf, sizeof buf);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    content.append(buf, static_cast<std::size_t>(n));
  }
  close(fd);
  return ParseValues(content);
}

// Writes the key's value file through a temporary file and rename.
bool StoreValues(const std::string& keyDir, const std::vector<Value>& values) {
  std::string data = FormatValues(values);
  std::string tmpl = keyDir + "/" + kValuesFile + ".XXXXXX";
  std::vector<char> name(tmpl.begin(), tmpl.end());
  name.push_back('\0');
  int fd = mkostemp(name.data(), O_CLOEXEC);
  if (fd < 0) return false;
  bool ok = true;
  std::size_t done = 0;
  while (ok && done < data.size()) {
    ssize_t n = write(fd, data.data() + done, data.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0)
      ok = false;
    else
      done += static_cast<std::size_t>(n);
  }
  ok = ok && fchmod(fd, 0644) == 0 && fsync(fd) == 0;
  ok = close(fd) == 0 && ok;
  ok = ok && rename(name.data(), (keyDir + "/" + kValuesFile).c_str()) == 0;
  if (!ok) unlink(name.data());
  return ok;
}

std::vector<Value>::iterator FindValue(std::vector<Value>& values, const std::string& name) {
  return std::find_if(values.begin(), values.end(),
                      [&](const Value& v) { return IEquals(v.name, name); });
}

}  // namespace

std::string RootDirectory() {
  std::string root;
  const char* env = std::getenv("ORVANTA_REGISTRY_ROOT");
  const char* xdg = std::getenv("XDG_DATA_HOME");
  if (env && *env) {
    root = env;
  } else if (xdg && *xdg == '/') {
    root = std::string(xdg) + "/orvanta/registry";
  } else {
    const char* home = std::getenv("HOME");
    std::string h = home && *home ? home : "";
    if (h.empty()) {
      if (passwd* pw = getpwuid(getuid())) h = pw->pw_dir ? pw->pw_dir : "";
    }
    root = h + "/.local/share/orvanta/registry";
  }
  while (root.size() > 1 && root.back() == '/') root.pop_back();
  return root;
}

bool KeyExists(const std::string& keyPath) { return ResolveKey(keyPath).has_value(); }

bool CreateKey(const std::string& keyPath) {
  StoreLock lock;
  return lock.Held() && CreateKeyLocked(keyPath).has_value();
}

bool DeleteKey(const std::string& keyPath) {
  if (SplitKeyPath(keyPath).empty()) return false;  // never the whole hive
  StoreLock lock;
  if (!lock.Held()) return false;
  auto dir = ResolveKey(keyPath);
  if (!dir) return false;
  // Move the key out of the tree first, so that it vanishes in one step.
  static std::atomic<unsigned> counter{0};
  std::string grave =
      RootDirectory() + "/.deleted-" + std::to_string(getpid()) + "-" + std::to_string(counter++);
  std::error_code ec;
  if (rename(dir->c_str(), grave.c_str()) == 0) {
    fs::remove_all(grave, ec);
    return true;
  }
  fs::remove_all(*dir, ec);
  return !ec;
}

namespace {

bool KeyNameLess(const std::string& a, const std::string& b) {
  std::string fa = Folded(a), fb = Folded(b);
  return fa != fb ? fa < fb : a < b;
}

}  // namespace

std::vector<std::string> EnumSubKeys(const std::string& keyPath) {
  std::vector<std::string> names;
  auto dir = ResolveKey(keyPath);
  if (!dir) return names;
  for (auto& [decoded, entry] : ChildKeys(*dir)) names.push_back(decoded);
  std::sort(names.begin(), names.end(), KeyNameLess);
  return names;
}

bool WalkKeys(const std::string& keyPath,
              const std::function<void(const std::string&, const std::vector<Value>&)>& visit) {
  auto start = ResolveKey(keyPath);
  if (!start) return false;
  // Each key's folder is its parent's folder plus one entry: no path is resolved from the
  // root again, so the walk costs one step per key however deep the tree.
  struct Item {
    std::string path;
    std::string dir;
  };
  std::vector<Item> stack{{keyPath, *start}};
  while (!stack.empty()) {
    Item item = std::move(stack.back());
    stack.pop_back();
    visit(item.path, LoadValues(item.dir));
    auto children = ChildKeys(item.dir);
    std::sort(children.begin(), children.end(),
              [](const auto& a, const auto& b) { return KeyNameLess(a.first, b.first); });
    const std::string prefix = item.path.empty() ? std::string() : item.path + "\\";
    for (auto it = children.rbegin(); it != children.rend(); ++it)
      stack.push_back({prefix + it->first, item.dir + "/" + it->second});
  }
  return true;
}

std::optional<Value> ReadValue(const std::string& keyPath, const std::string& name) {
  auto dir = ResolveKey(keyPath);
  if (!dir) return std::nullopt;
  std::vector<Value> values = LoadValues(*dir);
  auto it = FindValue(values, name);
  if (it == values.end()) return std::nullopt;
  return *it;
}

std::vector<Value> EnumValues(const std::string& keyPath) {
  auto dir = ResolveKey(keyPath);
  if (!dir) return {};
  return LoadValues(*dir);
}

bool WriteValue(const std::string& keyPath, const Value& value) {
  StoreLock lock;
  if (!lock.Held()) return false;
  auto dir = CreateKeyLocked(keyPath);
  if (!dir) return false;
  std::vector<Value> values = LoadValues(*dir);
  Value stored = value;
  if (stored.type == ValueType::Dword)
    stored.text.clear();
  else
    stored.dword = 0;
  auto it = FindValue(values, value.name);
  if (it != values.end()) {
    stored.name = it->name;  // the name keeps the case it was created with
    *it = stored;
  } else {
    values.push_back(stored);
  }
  return StoreValues(*dir, values);
}

bool DeleteValue(const std::string& keyPath, const std::string& name) {
  StoreLock lock;
  if (!lock.Held()) return false;
  auto dir = ResolveKey(keyPath);
  if (!dir) return false;
  std::vector<Value> values = LoadValues(*dir);
  auto it = FindValue(values, name);
  if (it == values.end()) return false;
  values.erase(it);
  return StoreValues(*dir, values);
}

bool DeleteAllValues(const std::string& keyPath) {
  StoreLock lock;
  if (!lock.Held()) return false;
  auto dir = ResolveKey(keyPath);
  if (!dir) return false;
  std::string file = *dir + "/" + kValuesFile;
  return unlink(file.c_str()) == 0 || errno == ENOENT;
}

// ---------------------------------------------------------------------------------------
// KeyWatch: inotify on the key's directory and every directory below it; a sub-key change
// shows as a directory event, a value change as its key's ".values" being replaced,
// rewritten or removed.

struct KeyWatch::Impl {
  int inotifyFd = -1;
  int cancelFd = -1;
  int rootWd = -1;
  std::map<int, std::string> dirs;  // watch descriptor -> directory
  std::atomic<bool> cancelled{false};
  bool dead = false;  // the watched key itself was deleted or moved

  ~Impl() {
    if (inotifyFd >= 0) close(inotifyFd);
    if (cancelFd >= 0) close(cancelFd);
  }

  // Watches `dir` and, recursively, the key directories that are already below it.
  void AddTree(const std::string& dir) {
    // IN_CLOSE_WRITE: a value file written in place by something other than this code.
    constexpr uint32_t kMask = IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO |
                               IN_CLOSE_WRITE | IN_DELETE_SELF | IN_MOVE_SELF | IN_ONLYDIR;
    int wd = inotify_add_watch(inotifyFd, dir.c_str(), kMask);
    if (wd < 0) return;
    dirs[wd] = dir;
    for (auto& [decoded, entry] : ChildKeys(dir)) AddTree(dir + "/" + entry);
  }

  // Reads the queued events; true when one of them is a sub-key or value change.
  bool Drain() {
    bool changed = false, rescan = false;
    alignas(inotify_event) char buf[16384];
    for (;;) {
      ssize_t n = read(inotifyFd, buf, sizeof buf);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) break;
      for (char* p = buf; p < buf + n;) {
        auto* ev = reinterpret_cast<inotify_event*>(p);
        p += sizeof(inotify_event) + ev->len;
        if (ev->mask & IN_Q_OVERFLOW) {
          // Events were lost: something changed, and new directories may lack a watch.
          changed = rescan = true;
          continue;
        }
        if (ev->mask & IN_IGNORED) {
          dirs.erase(ev->wd);
          continue;
        }
        if (ev->wd == rootWd && (ev->mask & (IN_DELETE_SELF | IN_MOVE_SELF))) {
          dead = true;
          changed = true;
          continue;
        }
        if (ev->len == 0) continue;
        auto it = dirs.find(ev->wd);
        if (it == dirs.end()) continue;
        if (!(ev->mask & IN_ISDIR)) {
          // A key's values are set or deleted by replacing or removing its value file; the
          // temporary files written on the way are not changes yet.
          if (std::strcmp(ev->name, kValuesFile) == 0) changed = true;
          continue;
        }
        if (ev->name[0] == '.') continue;
        changed = true;
        if (ev->mask & (IN_CREATE | IN_MOVED_TO)) AddTree(it->second + "/" + ev->name);
      }
    }
    if (rescan && dirs.count(rootWd)) AddTree(dirs[rootWd]);
    return changed;
  }
};

KeyWatch::KeyWatch() : m_impl(std::make_unique<Impl>()) {}

KeyWatch::~KeyWatch() = default;

bool KeyWatch::Open(const std::string& keyPath) {
  auto dir = ResolveKey(keyPath);
  if (!dir) return false;
  auto impl = std::make_unique<Impl>();
  impl->inotifyFd = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
  impl->cancelFd = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
  if (impl->inotifyFd < 0 || impl->cancelFd < 0) return false;
  impl->AddTree(*dir);
  if (impl->dirs.empty()) return false;
  impl->rootWd = impl->dirs.begin()->first;
  for (auto& [wd, path] : impl->dirs)
    if (path == *dir) impl->rootWd = wd;
  m_impl = std::move(impl);
  return true;
}

int KeyWatch::Wait(int timeoutMs) {
  Impl& d = *m_impl;
  if (d.inotifyFd < 0 || d.cancelled || d.dead) return -1;
  using Clock = std::chrono::steady_clock;
  const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs < 0 ? 0 : timeoutMs);
  for (;;) {
    int wait = -1;
    if (timeoutMs >= 0) {
      auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
      wait = static_cast<int>(std::max<long long>(0, left.count()));
    }
    pollfd fds[2] = {{d.inotifyFd, POLLIN, 0}, {d.cancelFd, POLLIN, 0}};
    int r = poll(fds, 2, wait);
    if (r < 0 && errno == EINTR) continue;
    if (r < 0 || d.cancelled) return -1;
    if (r == 0) return 0;
    if (fds[0].revents & POLLIN) {
      if (d.Drain()) return 1;
    } else if (fds[0].revents & (POLLERR | POLLHUP | POLLNVAL)) {
      return -1;
    }
    if (timeoutMs >= 0 && Clock::now() >= deadline) return 0;
  }
}

void KeyWatch::Cancel() {
  Impl& d = *m_impl;
  d.cancelled = true;
  if (d.cancelFd >= 0) {
    uint64_t one = 1;
    ssize_t n = write(d.cancelFd, &one, sizeof one);
    (void)n;
  }
}

}  // namespace plat::reg
