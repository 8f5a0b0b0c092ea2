#include "platform/Shell.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <dirent.h>

#include <cerrno>
#include <cstring>
#include <ctime>

#include "platform/LinkGate.h"
#include "platform/PrivateFiles.h"

extern char** environ;

namespace plat {
namespace {

std::vector<char*> ArgPointers(std::vector<std::string>& args) {
  std::vector<char*> p;
  for (auto& a : args) p.push_back(a.data());
  p.push_back(nullptr);
  return p;
}

// Starts argv[0] (searched in PATH when it has no '/') in a new session, not as our child,
// so it outlives us and leaves no zombie. True when the program was really executed.
// silent: its standard streams are /dev/null, so that it holds no pipe of ours open.
bool SpawnDetached(std::vector<std::string> args, bool silent = false) {
  if (args.empty()) return false;
  auto argv = ArgPointers(args);
  int fds[2];
  if (pipe2(fds, O_CLOEXEC) != 0) return false;
  pid_t child = fork();
  if (child < 0) {
    close(fds[0]);
    close(fds[1]);
    return false;
  }
  if (child == 0) {
    // Intermediate child: only async-signal-safe calls from here on.
    setsid();
    pid_t grandchild = fork();
    if (grandchild == 0) {
      if (silent) {
        const int null = open("/dev/null", O_RDWR);
        if (null >= 0)
          for (int stream = 0; stream < 3; ++stream) dup2(null, stream);
      }
      execvp(argv[0], argv.data());
      int err = errno;
      [[maybe_unused]] ssize_t n = write(fds[1], &err, sizeof err);
      _exit(127);
    }
    _exit(grandchild < 0 ? 1 : 0);
  }
  close(fds[1]);
  int status = 0;
  while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
  bool forked = WIFEXITED(status) && WEXITSTATUS(status) == 0;
  // The pipe closes on a successful exec; an errno arrives when exec failed.
  int err = 0;
  ssize_t n;
  do {
    n = read(fds[0], &err, sizeof err);
  } while (n < 0 && errno == EINTR);
  close(fds[0]);
  return forked && n == 0;
}

constexpr char kPagePrefix[] = "orvanta-page-";
constexpr char kPageSuffix[] = ".html";

// A program we may run directly: an ELF file or a "#!" script. (A run bit alone is not
// enough: exec would hand any other file to the shell.)
bool LooksExecutable(const std::string& path) {
  int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  char head[4] = {};
  ssize_t n = read(fd, head, sizeof head);
  close(fd);
  if (n >= 4 && std::memcmp(head,
                            "\x7f"
                            "ELF",
                            4) == 0)
    return true;
  return n >= 2 && head[0] == '#' && head[1] == '!';
}

}  // namespace

bool IsDirectlyRunnable(const std::string& nativeFile) {
  struct stat st {};
  return !nativeFile.empty() && stat(nativeFile.c_str(), &st) == 0 && S_ISREG(st.st_mode) &&
         LooksExecutable(nativeFile);
}

bool ShellOpen(const std::string& nativeFile, const std::string& parameters) {
  if (!IsDirectlyRunnable(nativeFile)) return false;
  struct stat st {};
  if (stat(nativeFile.c_str(), &st) != 0) return false;
  if (!(st.st_mode & S_IXUSR) && chmod(nativeFile.c_str(), st.st_mode | S_IXUSR) != 0) return false;
  // A bare name would be searched in PATH.
  std::vector<std::string> args{nativeFile.find('/') == std::string::npos ? "./" + nativeFile
                                                                          : nativeFile};
  for (auto& p : SplitParameters(parameters)) args.push_back(p);
  return SpawnDetached(std::move(args));
}

namespace {

bool StartBrowser(const std::string& target) {
  for (const char* browser : {"xdg-open", "sensible-browser", "x-www-browser"})
    if (SpawnDetached({browser, target})) return true;
  return false;
}

// Removes redirect pages older than maxAgeSeconds: a page whose remover did not run (the
// machine went down within the minute) goes at the next opening.
void RemoveOldPages(const std::string& folder, int maxAgeSeconds) {
  DIR* dir = opendir(folder.c_str());
  if (!dir) return;
  const std::time_t now = std::time(nullptr);
  while (const dirent* entry = readdir(dir)) {
    const std::string name = entry->d_name;
    if (name.rfind(kPagePrefix, 0) != 0) continue;
    const std::string path = folder + "/" + name;
    struct stat st {};
    if (lstat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && st.st_uid == geteuid() &&
        now - st.st_mtime > maxAgeSeconds)
      unlink(path.c_str());
  }
  closedir(dir);
}

}  // namespace

bool OpenUrlInBrowser(const std::string& url) {
  if (!IsAllowedLink(url)) return false;
  return StartBrowser(url);
}

bool OpenUrlThroughPrivatePage(const std::string& url, int lifetimeSeconds) {
  if (!IsAllowedLink(url)) return false;
  const std::string folder = PrivateRuntimeDirectory();
  if (folder.empty()) return false;
  RemoveOldPages(folder, lifetimeSeconds);
  const std::string page =
      WriteNewPrivateFile(folder, kPagePrefix, kPageSuffix, RedirectPageHtml(url));
  if (page.empty()) return false;
  // The page outlives the client by the same minute: a detached remover deletes it.
  SpawnDetached({"/bin/sh", "-c", "sleep \"$1\"; rm -f -- \"$2\"", "orvanta-page-remover",
                 std::to_string(lifetimeSeconds), page},
                true);
  if (StartBrowser("file://" + page)) return true;
  unlink(page.c_str());
  return false;
}

int RunAndWait(const std::string& nativeFile, const std::vector<std::string>& args) {
  if (nativeFile.empty()) return -1;
  std::vector<std::string> all{nativeFile};
  all.insert(all.end(), args.begin(), args.end());
  auto argv = ArgPointers(all);
  pid_t pid = -1;
  int rc = nativeFile.find('/') == std::string::npos
               ? posix_spawnp(&pid, argv[0], nullptr, nullptr, argv.data(), environ)
               : posix_spawn(&pid, argv[0], nullptr, nullptr, argv.data(), environ);
  if (rc != 0) return -1;
  int status = 0;
  while (waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) return -1;
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace plat
