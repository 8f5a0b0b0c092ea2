#pragma once
// Helpers shared by the tests: temporary folders, bounded waits, child processes, the
// stand-in platform.
#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace orvtest {

// A fresh folder under $TMPDIR, removed with its content on destruction.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::string& Path() const { return m_path; }
  std::string File(const std::string& name) const { return m_path + "/" + name; }

 private:
  std::string m_path;
};

// Makes a temporary folder the program directory (and a registry root under it) for the
// lifetime of the object; restores the previous program directory and environment after.
class TempProgramDir {
 public:
  TempProgramDir();
  ~TempProgramDir();
  const std::string& Path() const { return m_dir.Path(); }
  std::string RegistryRoot() const { return m_dir.Path() + "/registry"; }

 private:
  TempDir m_dir;
  std::string m_oldRegistry;
  bool m_hadRegistry = false;
};

// Sets an environment variable for the lifetime of the object, then restores it.
class ScopedEnv {
 public:
  ScopedEnv(const std::string& name, const std::string& value);
  ~ScopedEnv();
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;

 private:
  std::string m_name;
  std::string m_old;
  bool m_had = false;
};

// A loopback TCP port nobody listens on (bound once, then released).
int ClosedLoopbackPort();

// The body of a plain GET of an http://127.0.0.1:PORT/... URL (no proxy), "" on failure.
std::string HttpGet(const std::string& url);

// A program's file name from its name without extension (".exe" added on Windows), and
// that program in the build's bin folder.
std::string ExeName(const std::string& name);
std::string Program(const std::string& name);

// A loopback server that accepts every connection and never answers (a hung peer).
class SilentServer {
 public:
  SilentServer();
  ~SilentServer();
  SilentServer(const SilentServer&) = delete;
  SilentServer& operator=(const SilentServer&) = delete;
  int Port() const { return m_port; }
  // "http://127.0.0.1:PORT/"
  std::string Url() const;
  int Accepted() const { return m_accepted; }

 private:
  std::intptr_t m_fd = -1;
  int m_port = 0;
  std::atomic<int> m_accepted{0};
  std::vector<std::intptr_t> m_clients;
  std::thread m_thread;
};

// Listens at a local address of this machine (a Unix socket file; a named pipe on Windows),
// lets clients connect and never answers them: a hung peer.
class SilentLocalListener {
 public:
  explicit SilentLocalListener(const std::string& address);
  ~SilentLocalListener();
  SilentLocalListener(const SilentLocalListener&) = delete;
  SilentLocalListener& operator=(const SilentLocalListener&) = delete;
  bool Listening() const { return m_handle != -1; }

 private:
  std::intptr_t m_handle = -1;
};

// Polls pred every 10 ms until it is true or the timeout passes; returns its last value.
bool WaitUntil(const std::function<bool()>& pred,
               std::chrono::milliseconds timeout = std::chrono::seconds(10));

std::string ReadFile(const std::string& path);
void WriteFile(const std::string& path, const std::string& content);

// Text with its CRLF line ends turned into LF: a Windows program's console output ends its
// lines with CRLF, and the tests compare it with the LF text it stands for.
std::string Lf(const std::string& text);

// For its lifetime, a write to a connection the peer has closed meets the system's default:
// on Linux SIGPIPE, which ends the process unless the write asked for no signal. Windows
// raises none.
class DefaultBrokenPipeAction {
 public:
  DefaultBrokenPipeAction();
  ~DefaultBrokenPipeAction();
  DefaultBrokenPipeAction(const DefaultBrokenPipeAction&) = delete;
  DefaultBrokenPipeAction& operator=(const DefaultBrokenPipeAction&) = delete;

 private:
  void (*m_previous)(int) = nullptr;
};

// Keys of the machine's registry (paths as plat::reg takes them) that a test starts without
// and finds as they were after it. On Windows every test shares the real hive: the keys are
// moved aside under a backup key and put back at the end. On Linux each TempProgramDir has a
// store of its own, and nothing needs doing.
class ScratchRegistryKeys {
 public:
  explicit ScratchRegistryKeys(std::vector<std::string> keys);
  ~ScratchRegistryKeys();
  ScratchRegistryKeys(const ScratchRegistryKeys&) = delete;
  ScratchRegistryKeys& operator=(const ScratchRegistryKeys&) = delete;

 private:
  enum class Was { Absent, Saved, LeftAlone };
  std::vector<std::string> m_keys;
  std::vector<Was> m_was;
};

// A child process with its stdout readable line by line; killed (SIGTERM, then SIGKILL)
// on destruction. On Windows a program named by a Linux path (ORV_PYTHON, "/bin/sh") runs
// on the Linux side through the launcher of the Wine run (host_launcher.py, found by
// ORVANTA_TEST_LAUNCHER), its Windows path arguments translated: a Windows program cannot
// start or read a Linux child under Wine.
class ChildProcess {
 public:
  ChildProcess(const std::vector<std::string>& argv,
               const std::map<std::string, std::string>& extraEnv = {});
  ~ChildProcess();
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  bool Started() const { return m_pid > 0; }
  int Pid() const { return m_pid; }
  // Next line of stdout without its line end; false at end of output or after timeout.
  bool ReadLine(std::string& line, std::chrono::milliseconds timeout = std::chrono::seconds(10));
  // Reads lines until one of the form KEY=VALUE for every key in `keys` was seen.
  std::map<std::string, std::string> ReadAssignments(
      const std::vector<std::string>& keys,
      std::chrono::milliseconds timeout = std::chrono::seconds(20));
  // Waits for the exit; the exit code, or -1 on timeout / abnormal end.
  int Wait(std::chrono::milliseconds timeout = std::chrono::seconds(30));
  // Ends it; atOnce: without a chance to clean up (SIGKILL; on Windows always so).
  void Kill(bool atOnce = false);

 private:
  int m_pid = -1;
  std::intptr_t m_out = -1;  // pipe (POSIX descriptor, Windows handle) or launcher socket
  bool m_remote = false;
  std::string m_buffer;
  std::string m_frames;  // launcher bytes not yet parsed (Windows)
  bool m_exited = false;
  int m_status = 0;
};

// tools/platform-sim/platform_sim.py without its update server, read up to its "READY"
// line; ended with the object.
class PlatformSim {
 public:
  PlatformSim();
  PlatformSim(const PlatformSim&) = delete;
  PlatformSim& operator=(const PlatformSim&) = delete;

  // Every server of the simulator listens (it printed "READY").
  bool Started() const { return m_ready; }
  // Its NAME=VALUE lines: ORVANTA_HOST_<KIND>, ORVANTA_SIM_CONTROL and ORVANTA_SIM_PUSH.
  const std::map<std::string, std::string>& Hosts() const { return m_hosts; }
  // Sets every one of those variables for the lifetime of the returned objects.
  std::vector<std::unique_ptr<ScopedEnv>> ExportHosts() const;

 private:
  ChildProcess m_process;
  std::map<std::string, std::string> m_hosts;
  bool m_ready = false;
};

// Runs a command to completion; returns its exit code and fills stdout/stderr.
int RunCommand(const std::vector<std::string>& argv, std::string* out = nullptr,
               std::string* err = nullptr, const std::map<std::string, std::string>& extraEnv = {});

// Whether the Windows build runs under Wine, whose system differs from Windows in a few
// documented places (the tests say where).
#ifdef _WIN32
bool RunningUnderWine();
#else
inline bool RunningUnderWine() { return false; }
#endif

}  // namespace orvtest
