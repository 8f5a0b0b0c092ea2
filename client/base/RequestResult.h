#pragma once
// The status every request of the core hands its caller: the answer was used, no answer
// came (transport), or an answer came that could not be used (not the expected JSON or XML,
// too deep, too large, a value out of range). A failure carries a short reason, which is
// also written to the thread log.
#include <atomic>
#include <string>

enum class RequestStatus {
  Ok,
  NoAnswer,  // connection, time-out, transfer error, aborted
  Unusable,  // an answer arrived but is not what the request expects
};

// Every call site decides on it: a status dropped unread is a compile error in CI.
struct [[nodiscard]] RequestResult {
  RequestStatus status = RequestStatus::Ok;
  std::string reason;  // "" when ok

  bool Ok() const { return status == RequestStatus::Ok; }
  explicit operator bool() const { return Ok(); }

  static RequestResult Success() { return {}; }
  // Both log "<what>: <reason>" and return the failure.
  static RequestResult NoAnswer(const std::string& what, const std::string& reason);
  static RequestResult Unusable(const std::string& what, const std::string& reason);
};

// The one way to cancel blocking requests: a flag raised from any thread. A request watching
// it ends promptly as NoAnswer, and later ones fail at once. Request controllers, the
// diagnosis checks and the push channel each watch their own flag unless handed a shared
// one (UseAbortFlag), so one flag can end everything a window started.
using AbortFlag = std::atomic<bool>;

// What a core call run off the caller's thread hands back: its status and its value as one
// value, so a value is never read without its status.
template <class T>
struct CallResult {
  RequestResult result;
  T value{};
};

// "ok", "no answer", "unusable answer".
const char* RequestStatusText(RequestStatus status);
