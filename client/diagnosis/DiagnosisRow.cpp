#include "client/diagnosis/DiagnosisRow.h"

namespace {

constexpr const char* kNormal = "正常";
constexpr const char* kAbnormal = "异常";
constexpr const char* kClickToSubmit = "点击提交";

constexpr const char* kCheckNames[] = {
    "网络连通检测",         "服务器检测",       "软件完整性检测", "版本更新检测",
    "财务控件安装情况检测", "其他财务软件检测", "IE浏览器检测",   "打印机驱动检测",
};

DiagnosisRow Row(int check, const char* detail, const char* result, int rowOutcome) {
  return {DiagnosisCheckName(check) + detail, result, rowOutcome};
}

}  // namespace

std::string DiagnosisCheckName(int check) {
  if (check < 1 || check > 8) return {};
  return kCheckNames[check - 1];
}

DiagnosisRow DiagnosisRowFor(int check, int outcome) {
  switch (check) {
    case 1:
      if (outcome == 0) return Row(check, "", kNormal, kRowPassed);
      return Row(check, "：请检查是否接入互联网，或与管理员联系", kAbnormal, kRowFailed);
    case 2:
      // Reaching either server is enough to work.
      if (outcome == 0 || outcome == 1 || outcome == 2) return Row(check, "", kNormal, kRowPassed);
      return Row(check, "：无法连接VPN服务器，请与管理员联系", kAbnormal, kRowFailed);
    case 3:
      if (outcome == 0) return Row(check, "", kNormal, kRowPassed);
      // Files that differ from the release's list are a warning, not a pass.
      if (outcome == -2) return Row(check, "", kAbnormal, kRowWarning);
      return Row(check, "：无法获取服务器完整性信息", kAbnormal, kRowFailed);
    case 4:
      if (outcome == 0) return Row(check, "", kNormal, kRowPassed);
      if (outcome == 1) return Row(check, "：必须升级", kAbnormal, kRowFailed);
      if (outcome == 2) return Row(check, "：建议升级", kAbnormal, kRowWarning);
      return Row(check, "：无法获取更新信息", kAbnormal, kRowFailed);
    case 5:
      // The finance control is optional: its absence is a warning only.
      if (outcome == 0) return Row(check, "", kNormal, kRowPassed);
      return Row(check, "：未检测到财税控件", kNormal, kRowWarning);
    case 6:
      return Row(check, "", kClickToSubmit, kRowPassed);
    case 7:
      if (outcome == 0) return Row(check, "", kNormal, kRowPassed);
      return Row(check, "：IE版本不正确", kAbnormal, kRowFailed);
    case 8:
      if (outcome == 0) return Row(check, "", kNormal, kRowPassed);
      return Row(check, "", kAbnormal, kRowFailed);
    default:
      return {};
  }
}
