#include "client/update/UpdateLauncher.h"

#include "client/base/CIniFile.h"
#include "client/base/OwnVersion.h"
#include "client/base/ServerConfig.h"
#include "platform/ProgramDir.h"
#include "platform/Shell.h"

bool WriteUpdateInfo() {
  CIniFile ini(kUpdateInfoFile);
  bool ok = ini.WriteString(kUpdateInfoSection, "ip", GetServerEndpoint(ServerKind::Update).host);
  ok = ini.WriteString(kUpdateInfoSection, "user", server_paths::kUpdateUser) && ok;
  ok = ini.WriteString(kUpdateInfoSection, "pass", server_paths::kUpdatePassword) && ok;
  ok = ini.WriteString(kUpdateInfoSection, "version", GetOwnVersion()) && ok;
  ok = ini.WriteString(kUpdateInfoSection, "file", GetExecutableName()) && ok;
  return ok;
}

LaunchResult LaunchUpdater() {
  WriteUpdateInfo();
  // "Orvlift", or "Orvlift.exe" where programs carry the suffix (Windows).
  std::string path = plat::JoinProgramPath(std::string("\\") + kUpdaterProgram);
  if (!plat::FileExists(path) && plat::FileExists(path + ".exe")) path += ".exe";
  if (!plat::FileExists(path)) return LaunchResult::Missing;
  return plat::ShellOpen(path) ? LaunchResult::Started : LaunchResult::Failed;
}
