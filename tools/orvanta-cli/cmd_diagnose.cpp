// diagnose: runs the eight workstation checks in order and prints each row as the
// diagnosis page shows it, with the other-finance-software slots.
// report-software: finds the other finance software and sends the report of it.
#include "CliCommand.h"
#include "client/diagnosis/CDiagnosisChecks.h"
#include "client/diagnosis/DiagnosisRow.h"
#include "client/requests/ReportCtrls.h"

namespace {

int RunDiagnose(const std::vector<std::string>& args) {
  if (!args.empty()) return UsageError("usage: diagnose");
  CDiagnosisChecks checks;
  Json::Value out;
  out["rows"] = Json::Value(Json::arrayValue);
  for (int check = 1; check <= CDiagnosisChecks::kCheckCount; ++check) {
    const int code = checks.Run(check);
    const DiagnosisRow row = DiagnosisRowFor(check, code);
    Json::Value item;
    item["check"] = check;
    item["code"] = code;
    item["label"] = row.label;
    item["result"] = row.resultText;
    item["outcome"] = row.rowOutcome;
    out["rows"].append(item);
  }
  out["slots"] = Json::Value(Json::arrayValue);
  for (const std::string& slot : checks.Slots()) out["slots"].append(slot);
  PrintJson(out);
  return 0;
}

int RunReportSoftware(const std::vector<std::string>& args) {
  if (!args.empty()) return UsageError("usage: report-software");
  CDiagnosisChecks checks;
  checks.CheckOtherSoftware();
  COtherSoftwareInfoCtrl report(checks.Slots());
  // "success" is the platform's word on the report; a report without an answer failed.
  const bool sent = report.Send().Ok() && report.success;
  Json::Value out;
  out["success"] = sent;
  out["slots"] = Json::Value(Json::arrayValue);
  for (const std::string& slot : checks.Slots()) out["slots"].append(slot);
  PrintJson(out);
  return sent ? 0 : 1;
}

CliRegistration diagnoseCommand({"diagnose", "diagnose", &RunDiagnose});
CliRegistration reportSoftwareCommand({"report-software", "report-software", &RunReportSoftware});

}  // namespace
