// Install state of a record from the Uninstall registrations, and the readings of the
// registration's DisplayIcon and UninstallString values.
#include <gtest/gtest.h>

#include "client/apps/InstallState.h"
#include "client/base/MachineRegistry.h"
#include "platform/Registry.h"
#include "support/TestSupport.h"

namespace {

void Register(const std::string& code,
              const std::vector<std::pair<std::string, std::string>>& values) {
  const std::string key = MachineSoftwareKey(std::string(kUninstallPath) + code);
  ASSERT_TRUE(plat::reg::CreateKey(key));
  for (const auto& [name, text] : values) {
    plat::reg::Value value;
    value.name = name;
    value.text = text;
    ASSERT_TRUE(plat::reg::WriteValue(key, value));
  }
}

AppRecord Record(int appid, const std::string& type, const std::string& code,
                 const std::string& version) {
  auto app = std::make_shared<OrvAppInfo>();
  app->appid = appid;
  app->xh = std::to_string(appid);
  app->type = type;
  app->code = code;
  app->version = version;
  return app;
}

TEST(InstallStateTest, VersionsCompareNumericallyPartByPart) {
  struct Case {
    const char* a;
    const char* b;
    int sign;
  };
  const Case cases[] = {{"2.0", "10.0", -1}, {"1.10", "1.9", 1},  {"1.0", "1.0.0", 0},
                        {"1.2.3", "1.2", 1}, {"", "1.0", -1},     {"01.2", "1.2", 0},
                        {"1.0b", "1.0a", 1}, {"1.0", "1.0a", -1}, {"10", "9.9", 1}};
  for (const Case& c : cases) {
    const int got = CompareVersionText(c.a, c.b);
    EXPECT_EQ((got > 0) - (got < 0), c.sign) << c.a << " vs " << c.b;
    EXPECT_EQ((CompareVersionText(c.b, c.a) > 0) - (CompareVersionText(c.b, c.a) < 0), -c.sign);
  }
}

// Removes the registrations when made and when gone: on Windows the hive outlives the test.
struct RegistrationsCleared {
  explicit RegistrationsCleared(std::vector<std::string> codes) : codes(std::move(codes)) {
    Clear();
  }
  ~RegistrationsCleared() { Clear(); }
  void Clear() const {
    for (const std::string& code : codes)
      plat::reg::DeleteKey(MachineSoftwareKey(std::string(kUninstallPath) + code));
  }
  std::vector<std::string> codes;
};

TEST(InstallStateTest, StatesWorkedOutOnceFromTheUninstallRegistration) {
  orvtest::TempProgramDir dir;
  const RegistrationsCleared cleared({"NoIcon", "Old", "Newer", "Same", "Unregistered"});
  Register("NoIcon", {{"DisplayVersion", "1.0"}});
  Register("Old", {{"DisplayIcon", "/opt/old/run"}, {"DisplayVersion", "2.0"}});
  Register("Newer", {{"DisplayIcon", "/opt/newer/run"}, {"DisplayVersion", "1.10"}});
  Register("Same", {{"DisplayIcon", "/opt/same/run"}, {"DisplayVersion", "3.1"}});

  AppList list;
  list.records = {Record(1, "client", "NoIcon", "1.0"),      Record(2, "client", "Old", "10.0"),
                  Record(3, "client", "Newer", "1.9"),       Record(4, "client", "Same", "3.1"),
                  Record(5, "client", "Same", ""),           Record(6, "app", "Same", "9.9"),
                  Record(7, "client", "Unregistered", "1.0")};
  const int expected[] = {tile_state::kNotInstalled, tile_state::kUpdate, tile_state::kRun,
                          tile_state::kRun,          tile_state::kRun,    tile_state::kNone,
                          tile_state::kNotInstalled};
  ComputeInstallStates(list);
  for (size_t i = 0; i < list.records.size(); ++i) {
    EXPECT_EQ(QueryInstallStateOf(*list.records[i], list), expected[i]) << "record " << i + 1;
    EXPECT_EQ(HeldInstallState(*list.records[i], list), expected[i]) << "record " << i + 1;
  }

  // The key comes from the list's record with the same xh; a record its list no longer
  // holds reads as not installed.
  AppList other;
  EXPECT_EQ(QueryInstallStateOf(*list.records[3], other), tile_state::kNotInstalled);
  EXPECT_EQ(HeldInstallState(*list.records[3], other), tile_state::kNotInstalled);

  // The held states are what was worked out: a registration changed since reads the same
  // until they are worked out again.
  Register("NoIcon", {{"DisplayIcon", "/opt/noicon/run"}});
  EXPECT_EQ(HeldInstallState(*list.records[0], list), tile_state::kNotInstalled);
  ComputeInstallStates(list);
  EXPECT_EQ(HeldInstallState(*list.records[0], list), tile_state::kRun);
}

TEST(InstallStateTest, DisplayIconAndUninstallStringAsWindowsReadsThem) {
  const std::pair<std::string, std::string> icons[] = {
      {"/opt/a/run", "/opt/a/run"},           {"\"/opt/a b/run\"", "/opt/a b/run"},
      {"\"/opt/a b/run\",0", "/opt/a b/run"}, {"/opt/a/run,12", "/opt/a/run"},
      {"/opt/a/run, -3", "/opt/a/run"},       {"/opt/a,b/run", "/opt/a,b/run"},
      {"  /opt/a/run  ", "/opt/a/run"},
  };
  for (const auto& [value, program] : icons)
    EXPECT_EQ(ProgramOfDisplayIcon(value), program) << value;

  using Split = std::pair<std::string, std::string>;
  EXPECT_EQ(SplitCommandLine("/opt/u/uninstall.sh"), Split("/opt/u/uninstall.sh", ""));
  EXPECT_EQ(SplitCommandLine("\"/opt/my app/un.sh\" --keep \"a b\""),
            Split("/opt/my app/un.sh", "--keep \"a b\""));
  EXPECT_EQ(SplitCommandLine(""), Split("", ""));
}

}  // namespace
