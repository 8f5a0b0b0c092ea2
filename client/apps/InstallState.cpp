#include "client/apps/InstallState.h"

#include <array>
#include <cctype>
#include <vector>

#include "client/base/MachineRegistry.h"
#include "platform/ProgramDir.h"
#include "platform/Shell.h"

namespace {

constexpr std::array<const char*, 9> kBadgeNames = {"",       "更新",   "禁用", "试用", "未安装",
                                                    "未开通", "未授权", "卸载", "运行"};

// Splits one version part into its leading number and the rest.
void SplitPart(const std::string& part, std::string& digits, std::string& tail) {
  size_t i = 0;
  while (i < part.size() && std::isdigit(static_cast<unsigned char>(part[i]))) ++i;
  digits = part.substr(0, i);
  tail = part.substr(i);
  size_t zeros = 0;
  while (zeros + 1 < digits.size() && digits[zeros] == '0') ++zeros;
  digits.erase(0, zeros);
}

std::string NextPart(const std::string& text, size_t& pos) {
  if (pos >= text.size()) return "0";
  size_t dot = text.find('.', pos);
  if (dot == std::string::npos) dot = text.size();
  std::string part = text.substr(pos, dot - pos);
  pos = dot + 1;
  return part.empty() ? "0" : part;
}

bool IsDigits(const std::string& text) {
  if (text.empty()) return false;
  for (char c : text)
    if (c < '0' || c > '9') return false;
  return true;
}

std::string Trim(const std::string& text) {
  const size_t first = text.find_first_not_of(" \t");
  if (first == std::string::npos) return {};
  const size_t last = text.find_last_not_of(" \t");
  return text.substr(first, last - first + 1);
}

std::string QuoteArgument(const std::string& arg) {
  if (!arg.empty() && arg.find_first_of(" \t\"") == std::string::npos) return arg;
  return "\"" + arg + "\"";
}

}  // namespace

std::string BadgeImageOf(int state) {
  if (state <= 0 || state >= static_cast<int>(kBadgeNames.size())) return {};
  return std::string("image\\PngButton\\") + kBadgeNames[state] + ".png";
}

std::string StateWordsOf(int state) {
  if (state <= 0 || state >= static_cast<int>(kBadgeNames.size())) return {};
  return kBadgeNames[state];
}

int CompareVersionText(const std::string& a, const std::string& b) {
  size_t pa = 0;
  size_t pb = 0;
  while (pa < a.size() || pb < b.size()) {
    std::string da, ta, db, tb;
    SplitPart(NextPart(a, pa), da, ta);
    SplitPart(NextPart(b, pb), db, tb);
    if (da.size() != db.size()) return da.size() < db.size() ? -1 : 1;
    if (int c = da.compare(db); c != 0) return c < 0 ? -1 : 1;
    if (int c = ta.compare(tb); c != 0) return c < 0 ? -1 : 1;
  }
  return 0;
}

int QueryInstallStateOf(const OrvAppInfo& record, const AppList& list) {
  if (record.type == "app") return tile_state::kNone;
  std::string code;
  for (const AppRecord& entry : list.records) {
    if (entry->xh == record.xh) {
      code = entry->code;
      break;
    }
  }
  // A record that its list no longer holds has no key: it reads as not installed.
  if (code.empty()) return tile_state::kNotInstalled;
  if (ReadUninstallValue(code, "DisplayIcon").empty()) return tile_state::kNotInstalled;
  const std::string installed = ReadUninstallValue(code, "DisplayVersion");
  if (!record.version.empty() && CompareVersionText(installed, record.version) < 0)
    return tile_state::kUpdate;
  return tile_state::kRun;
}

bool InstallerDownloaded(const OrvAppInfo& record) {
  // The same test the activation makes before it runs the installer instead of fetching it.
  return record.type == "client" && !record.setupPath.empty() && plat::FileExists(record.setupPath);
}

void ComputeInstallStates(AppList& list) {
  list.states.clear();
  for (const AppRecord& record : list.records)
    if (record) list.states.emplace(record->xh, QueryInstallStateOf(*record, list));
}

int HeldInstallState(const OrvAppInfo& record, const AppList& list) {
  if (record.type == "app") return tile_state::kNone;
  auto found = list.states.find(record.xh);
  return found == list.states.end() ? tile_state::kNotInstalled : found->second;
}

std::string ProgramOfDisplayIcon(const std::string& value) {
  std::string text = Trim(value);
  if (!text.empty() && text.front() == '"') {
    const size_t close = text.find('"', 1);
    return close == std::string::npos ? text.substr(1) : text.substr(1, close - 1);
  }
  const size_t comma = text.rfind(',');
  if (comma != std::string::npos) {
    std::string index = Trim(text.substr(comma + 1));
    if (!index.empty() && index.front() == '-') index.erase(0, 1);
    if (IsDigits(index)) text = Trim(text.substr(0, comma));
  }
  return text;
}

std::pair<std::string, std::string> SplitCommandLine(const std::string& value) {
  const std::vector<std::string> parts = plat::SplitParameters(value);
  if (parts.empty()) return {};
  std::string parameters;
  for (size_t i = 1; i < parts.size(); ++i) {
    if (!parameters.empty()) parameters += ' ';
    parameters += QuoteArgument(parts[i]);
  }
  return {parts[0], parameters};
}
