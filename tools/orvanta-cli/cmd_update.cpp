// update-check: asks the update server for the published release and compares it with
// this build's version, like the client's check (the descriptor lands in the program
// directory).
#include "CliCommand.h"
#include "client/update/UpdateCheck.h"

namespace {

CliRegistration updateCheckCommand({"update-check", "update-check",
                                    [](const std::vector<std::string>& args) {
                                      if (!args.empty()) return UsageError("usage: update-check");
                                      UpdateCheckResult result = CheckForUpdateDetailed();
                                      Json::Value v;
                                      v["code"] = result.code;
                                      v["local"] = result.localVersion;
                                      v["published"] = result.publishedVersion;
                                      v["status"] = RequestStatusText(result.result.status);
                                      if (!result.result.Ok()) v["error"] = result.result.reason;
                                      PrintJson(v);
                                      return 0;
                                    }});

}  // namespace
