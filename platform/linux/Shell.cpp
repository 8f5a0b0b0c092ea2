#include "platform/Shell.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

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
bool SpawnDetached(std::vector<std::string> args) {
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

// A program we may run: the run bit is set, or it is an ELF file or a "#!" script.
bool LooksExecutable(const std::string& path, const struct stat& st) {
  if (st.st_mode & (S_IXUSR | S_IXGRP | S_IXOTH)) return true;
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

std::vector<std::string> SplitParameters(const std::string& parameters) {
  std::vector<std::string> out;
  std::string current;
  bool inToken = false;
  bool quoted = false;
  for (char c : parameters) {
    if (c == '"') {
      quoted = !quoted;
      inToken = true;
    } else if (!quoted && (c == ' ' || c == '\t')) {
      if (inToken) out.push_back(current);
      current.clear();
      inToken = false;
    } else {
      current += c;
      inToken = true;
    }
  }
  if (inToken) out.push_back(current);
  return out;
}

bool ShellOpen(const std::string& nativeFile, const std::string& parameters) {
  if (nativeFile.empty()) return false;
  struct stat st {};
  if (stat(nativeFile.c_str(), &st) == 0 && S_ISREG(st.st_mode) &&
      LooksExecutable(nativeFile, st)) {
    if (!(st.st_mode & S_IXUSR) && chmod(nativeFile.c_str(), st.st_mode | S_IXUSR) != 0)
      return false;
    std::vector<std::string> args{nativeFile.find('/') == std::string::npos ? "./" + nativeFile
                                                                            : nativeFile};
    for (auto& p : SplitParameters(parameters)) args.push_back(p);
    return SpawnDetached(std::move(args));
  }
  // A name beginning with '-' must not reach the opener as an option.
  return SpawnDetached({"xdg-open", nativeFile.front() == '-' ? "./" + nativeFile : nativeFile});
}

bool OpenUrlInBrowser(const std::string& url) {
  // URLs come from server answers; one beginning with '-' would be taken as an option.
  if (url.empty() || url.front() == '-') return false;
  for (const char* browser : {"xdg-open", "sensible-browser", "x-www-browser"})
    if (SpawnDetached({browser, url})) return true;
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
