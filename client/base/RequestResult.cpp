#include "client/base/RequestResult.h"

#include "client/base/CThreadLog.h"

namespace {

RequestResult Failure(RequestStatus status, const std::string& what, const std::string& reason) {
  RequestResult result;
  result.status = status;
  result.reason = reason;
  CThreadLog::Instance()->Write(what + ": " + RequestStatusText(status) + " (" + reason + ")");
  return result;
}

}  // namespace

RequestResult RequestResult::NoAnswer(const std::string& what, const std::string& reason) {
  return Failure(RequestStatus::NoAnswer, what, reason);
}

RequestResult RequestResult::Unusable(const std::string& what, const std::string& reason) {
  return Failure(RequestStatus::Unusable, what, reason);
}

const char* RequestStatusText(RequestStatus status) {
  switch (status) {
    case RequestStatus::Ok:
      return "ok";
    case RequestStatus::NoAnswer:
      return "no answer";
    case RequestStatus::Unusable:
      return "unusable answer";
  }
  return "unusable answer";
}
