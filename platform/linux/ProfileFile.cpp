#include "platform/ProfileFile.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <vector>

// Writers lock the file itself (flock) and replace it by rename; because a rename gives
// the path a new inode, a writer that waited on the old inode notices and locks again.
// Readers take no lock: they always see either the old or the new complete file.

namespace plat::profile_file {
namespace {

std::optional<std::string> ReadAll(int fd) {
  std::string out;
  char buf[8192];
  for (;;) {
    ssize_t n = read(fd, buf, sizeof buf);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return std::nullopt;
    if (n == 0) break;
    out.append(buf, static_cast<std::size_t>(n));
  }
  return out;
}

bool WriteAll(int fd, const std::string& data) {
  std::size_t done = 0;
  while (done < data.size()) {
    ssize_t n = write(fd, data.data() + done, data.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<std::size_t>(n);
  }
  return true;
}

}  // namespace

std::optional<std::string> ReadFileBytes(const std::string& path) {
  int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return std::nullopt;
  auto content = ReadAll(fd);
  close(fd);
  return content;
}

namespace {

// A write replaces the file a symbolic link points to, not the link.
std::string ResolveTarget(const std::string& path) {
  struct stat st;
  if (lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
    if (char* real = realpath(path.c_str(), nullptr)) {
      std::string out = real;
      std::free(real);
      return out;
    }
  }
  return path;
}

}  // namespace

// New files are 0666 less the umask unless a mode is given.
bool ModifyFile(const std::string& nativeFile, bool create,
                const std::function<EditResult(std::string&)>& edit, int mode) {
  const std::string target = ResolveTarget(nativeFile);
  for (int attempt = 0; attempt < 1000; ++attempt) {
    int fd = open(target.c_str(), O_RDONLY | O_CLOEXEC | (create ? O_CREAT : 0),
                  mode >= 0 ? static_cast<mode_t>(mode) : 0666);
    if (fd < 0) {
      if (errno == ENOENT && !create) {
        // Nothing to change, provided the folder exists.
        std::string dir = target.substr(0, target.rfind('/') + 1);
        struct stat st;
        return dir.empty() || (stat(dir.c_str(), &st) == 0 && S_ISDIR(st.st_mode));
      }
      return false;
    }
    while (flock(fd, LOCK_EX) != 0) {
      if (errno != EINTR) {
        close(fd);
        return false;
      }
    }
    struct stat locked, current;
    if (fstat(fd, &locked) != 0) {
      close(fd);
      return false;
    }
    if (stat(target.c_str(), &current) != 0 || current.st_ino != locked.st_ino ||
        current.st_dev != locked.st_dev) {
      close(fd);  // replaced (or removed) while we waited: lock the current file
      continue;
    }
    bool ok = false;
    std::optional<std::string> content;
    if (access(target.c_str(), W_OK) == 0) content = ReadAll(fd);
    if (content) {
      EditResult r = edit(*content);
      if (r == EditResult::Unchanged) {
        ok = mode < 0 || (locked.st_mode & 07777) == static_cast<mode_t>(mode) ||
             fchmod(fd, static_cast<mode_t>(mode)) == 0;
      } else if (r == EditResult::Changed) {
        std::size_t slash = target.rfind('/');
        std::string dir = slash == std::string::npos ? "." : target.substr(0, slash);
        std::string base = slash == std::string::npos ? target : target.substr(slash + 1);
        std::string tmpl = dir + "/." + base + ".XXXXXX";
        std::vector<char> name(tmpl.begin(), tmpl.end());
        name.push_back('\0');
        int tmp = mkostemp(name.data(), O_CLOEXEC);
        if (tmp >= 0) {
          ok = WriteAll(tmp, *content) &&
               fchmod(tmp, mode >= 0 ? static_cast<mode_t>(mode) : locked.st_mode & 07777) == 0 &&
               fsync(tmp) == 0;
          ok = close(tmp) == 0 && ok;
          ok = ok && rename(name.data(), target.c_str()) == 0;
          if (!ok) unlink(name.data());
        }
      }
    }
    close(fd);
    return ok;
  }
  return false;
}

}  // namespace plat::profile_file
