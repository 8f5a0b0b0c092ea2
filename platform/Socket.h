#pragma once
// A small TCP client socket that behaves the same on both systems: time-outs in
// milliseconds, keep-alive probes, and a send to a closed peer that fails instead of
// raising a signal.
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>

namespace plat::net {

using Socket = std::intptr_t;
inline constexpr Socket kNoSocket = -1;

// A new IPv4 stream socket (not inherited by child processes); kNoSocket on failure.
Socket OpenTcp();
// Connects to host (dotted IPv4, else a name resolved to IPv4) and port. False on failure.
bool Connect(Socket s, const std::string& host, int port);
// Keep-alive probes after idleSeconds of silence, every intervalSeconds, given up after
// `probes` unanswered ones (the count is the system's own where it cannot be set).
bool SetKeepAlive(Socket s, int idleSeconds, int intervalSeconds, int probes);
// A receive that waits longer than ms fails (as an error, not as the peer's close).
bool SetReceiveTimeout(Socket s, int ms);
// Bytes received (> 0), 0 when the peer closed, -1 on error or time-out; interrupted calls
// are retried.
long Receive(Socket s, char* buffer, std::size_t size);
// Bytes sent, or -1. dontRoute: bypass routing (peers on the local network only).
long Send(Socket s, const char* data, std::size_t size, bool dontRoute = false);
// A socket listening on 127.0.0.1 at a port the system picks, written to *port; kNoSocket
// on failure.
Socket ListenLoopback(int* port, int backlog = 16);
// The next connection of a listening socket (not inherited by child processes), or kNoSocket.
Socket Accept(Socket listening);
// Waits until s can be read (data, a connection, the peer's close): 1, 0 after ms, -1 on error.
int WaitReadable(Socket s, int ms);
// Waits until s can be written to (or has failed): 1, 0 after ms, -1 on error.
int WaitWritable(Socket s, int ms);

enum class ConnectStatus { Connected, HostNotFound, Failed, TimedOut, Cancelled };
struct ConnectResult {
  ConnectStatus status = ConnectStatus::Failed;
  Socket socket = kNoSocket;  // when Connected
  int code = 0;               // the system's error code of a failure
  std::string error;          // and its text
};
// Connects a new stream socket (not inherited by child processes) to host and port, trying
// each IPv4 or IPv6 address the name resolves to in turn, without blocking: the wait ends
// when `cancel` is raised (looked at every sliceMs) or after timeoutMs (< 0: no limit). The
// connected socket is blocking, with Nagle's delay off.
ConnectResult ConnectCancellable(const std::string& host, int port, int timeoutMs,
                                 const std::atomic<bool>& cancel, int sliceMs = 100);
// Ends both directions: a receive blocked in another thread returns.
void Shutdown(Socket s);
void Close(Socket s);
// Flags for a send that must not raise a signal on a closed peer (for libraries that call
// send themselves).
int NoSignalSendFlags();

}  // namespace plat::net
