#pragma once
// The two web requests of the diagnosis: a reachability probe and a plain fetch.
// Both are blocking, use a fresh transfer each time and never throw. A set abort flag
// (checked several times a second) ends a transfer early as a failure.
#include <atomic>
#include <string>

inline constexpr long kProbeConnectTimeoutMs = 3000;

// True when the address answers at all: any HTTP response counts, whatever its status.
// An address without an http:// or https:// scheme, a refused or timed-out connection,
// or any other error is unreachable.
bool ProbeAddress(const std::string& url, long connectTimeoutMs = kProbeConnectTimeoutMs,
                  const std::atomic<bool>* abort = nullptr);

struct HttpFetchResult {
  bool ok = false;  // a response was received
  long status = 0;  // HTTP status of the final response (0 when none)
  std::string body;
};

// A fetch fails when no byte arrives for this long: a server that accepts the request but
// never answers must not hold the diagnosis worker forever. A large list still arrives in
// whatever time it takes.
inline constexpr long kFetchStallSeconds = 60;

// Fetches the address (redirects followed) and keeps the whole body.
HttpFetchResult HttpFetch(const std::string& url, const std::atomic<bool>* abort = nullptr,
                          long stallSeconds = kFetchStallSeconds);
