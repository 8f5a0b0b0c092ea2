// The updater's parts in process: uninstall lookup, conf.config, the silent uninstaller,
// the progress bar and the dialog's reactions to download events.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QAccessible>
#include <QApplication>
#include <QImage>
#include <QPlainTextEdit>
#include <QPushButton>
#include <cstdlib>

#include "platform/Registry.h"
#include "tests/support/TestSupport.h"
#include "updater/COrvliftDlg.h"
#include "updater/CProgressCtrlX.h"
#include "updater/InstallationLookup.h"

namespace {

class UninstallLookup : public ::testing::Test {
 protected:
  void SetUp() override { unsetenv("ORVANTA_WOW64"); }
  void TearDown() override { unsetenv("ORVANTA_WOW64"); }
  static void Write(const std::string& list, const std::string& entry, const std::string& name,
                    const std::string& text, plat::reg::ValueType type = plat::reg::ValueType::Sz) {
    plat::reg::Value v;
    v.name = name;
    v.type = type;
    v.text = text;
    ASSERT_TRUE(plat::reg::WriteValue(list + "\\" + entry, v));
  }
  const std::string m_list = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall";
  const std::string m_wowList =
      "SOFTWARE\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\Uninstall";
  orvtest::TempProgramDir m_program;  // its own registry root
};

TEST_F(UninstallLookup, FirstEntryWithTheNameDecides) {
  EXPECT_FALSE(FindUninstallValue(kAppPathValue)) << "no uninstall list at all";
  Write(m_list, "A-Other", "DisplayName", "Some tool");
  Write(m_list, "A-Other", kAppPathValue, "/opt/other");
  EXPECT_FALSE(FindUninstallValue(kAppPathValue));

  // A display name of the wrong type is skipped; a suffixed name matches.
  plat::reg::Value dword;
  dword.name = "DisplayName";
  dword.type = plat::reg::ValueType::Dword;
  dword.dword = 7;
  ASSERT_TRUE(plat::reg::WriteValue(m_list + "\\B-Numeric", dword));
  Write(m_list, "B-Numeric", kAppPathValue, "/opt/numeric");
  Write(m_list, "C-Client", "DisplayName", "奥凡云平台 V2.3", plat::reg::ValueType::ExpandSz);
  Write(m_list, "C-Client", kAppPathValue, "/opt/orvanta");
  EXPECT_EQ(FindUninstallValue(kAppPathValue).value_or("-"), "/opt/orvanta");

  // A later entry is never consulted, even when the first lacks the value.
  Write(m_list, "D-Client", "DisplayName", "奥凡云平台");
  Write(m_list, "D-Client", kUninstallStringValue, "/opt/orvanta/unins000");
  EXPECT_FALSE(FindUninstallValue(kUninstallStringValue));
}

TEST_F(UninstallLookup, SixtyFourBitWindowsUsesTheWowList) {
  Write(m_list, "Client", "DisplayName", "奥凡云平台");
  Write(m_list, "Client", kAppPathValue, "/opt/native");
  setenv("ORVANTA_WOW64", "1", 1);
  EXPECT_FALSE(FindUninstallValue(kAppPathValue));
  Write(m_wowList, "Client", "DisplayName", "奥凡云平台");
  Write(m_wowList, "Client", kAppPathValue, "/opt/wow");
  EXPECT_EQ(FindUninstallValue(kAppPathValue).value_or("-"), "/opt/wow");
  unsetenv("ORVANTA_WOW64");
  EXPECT_EQ(FindUninstallValue(kAppPathValue).value_or("-"), "/opt/native");
}

TEST(ConfConfig, UrlOfTheFirstMatchingAddElement) {
  orvtest::TempDir dir;
  struct {
    const char* xml;
    const char* url;
  } cases[] = {
      {"<configuration><appSettings><add key=\"Other\" value=\"x\"/>"
       "<add key=\"Url\" value=\"ftp://a/b\"/><add key=\"Url\" value=\"ftp://c\"/>"
       "</appSettings></configuration>",
       "ftp://a/b"},
      {"<c><x><y><add key=\"Url\" value=\"deep\"/></y></x><add key=\"Url\" value=\"late\"/></c>",
       "deep"},
      // "key" must be the first attribute.
      {"<c><add value=\"skipped\" key=\"Url\"/><add key=\"Url\" value=\"ok\"/></c>", "ok"},
      {"<c><add key=\"Url\"/><add key=\"Url\" value=\"later\"/></c>", ""},
      {"<add key=\"Url\" value=\"root-only\"/>", ""},  // the search is below the root
      {"<c><add key=\"Url\" value=\"broken\"></c>", ""},
      // a UTF-8 sequence cut off by the end of the file
      {"<?xml version=\"1.0\" encoding=\"utf-8\"?><c><add key=\"Url\" value=\"u\"/></c>\xf0", "u"},
  };
  for (const auto& c : cases) {
    orvtest::WriteFile(dir.File("conf.config"), c.xml);
    EXPECT_EQ(ReadInstallerUrlBase(dir.File("conf.config")), c.url) << c.xml;
  }
  EXPECT_EQ(ReadInstallerUrlBase(dir.File("missing.config")), "");
}

TEST(SilentUninstall, SwitchesAndExitCode) {
  orvtest::TempDir dir;
  auto script = [&](const std::string& name, int code) {
    std::string path = dir.File(name);
    orvtest::WriteFile(path, "#!/bin/sh\nprintf '%s|' \"$@\" > '" + path + ".args'\nexit " +
                                 std::to_string(code) + "\n");
    chmod(path.c_str(), 0755);
    return path;
  };
  std::string ok = script("unins ok", 0);
  EXPECT_TRUE(RunSilent(ok));
  EXPECT_EQ(orvtest::ReadFile(ok + ".args"), "/VERYSILENT|/SUPPRESSMSGBOXES|");
  EXPECT_TRUE(RunSilent("\"" + ok + "\""));  // a quoted command
  EXPECT_FALSE(RunSilent(script("unins fail", 2)));
  EXPECT_FALSE(RunSilent(dir.File("missing")));
  EXPECT_FALSE(RunSilent(""));
}

TEST(ProgressBar, PercentNeverDividesByZeroOrOverflows) {
  EXPECT_EQ(CProgressCtrlX::PercentOf(0, 0), 0);
  EXPECT_EQ(CProgressCtrlX::PercentOf(5000, 0), 0);  // size unknown
  EXPECT_EQ(CProgressCtrlX::PercentOf(-1, 100), 0);
  EXPECT_EQ(CProgressCtrlX::PercentOf(50, 100), 50);
  EXPECT_EQ(CProgressCtrlX::PercentOf(100, 100), 100);
  EXPECT_EQ(CProgressCtrlX::PercentOf(150, 100), 100);
  const int64_t huge = INT64_MAX - 10;
  EXPECT_EQ(CProgressCtrlX::PercentOf(huge / 2, huge), 49);
  // A 100 MB installer in 8192-byte chunks climbs steadily to 100.
  const int64_t total = 100 * 1024 * 1024;
  int last = 0;
  for (int64_t done = 0; done <= total; done += 8192) {
    int p = CProgressCtrlX::PercentOf(done, total);
    ASSERT_GE(p, last);
    last = p;
  }
  EXPECT_EQ(CProgressCtrlX::PercentOf(total, total), 100);
}

TEST(ProgressBar, TextFollowsTheFormatSafely) {
  EXPECT_EQ(CProgressCtrlX::FormatValue("%d%%", 42), "42%");
  EXPECT_EQ(CProgressCtrlX::FormatValue("%s %n %d", 7), "%s %n 7");  // only %d and %%
  EXPECT_EQ(CProgressCtrlX::FormatValue("100%", 1), "100%");
  CProgressCtrlX bar;
  bar.SetRange(10, 10);
  bar.SetPos(10);
  bar.SetShowPercent(true);
  EXPECT_EQ(bar.DisplayText(), "0%");  // empty range
  bar.SetRange(0, 200);
  bar.SetPos(50);
  EXPECT_EQ(bar.DisplayText(), "25%");
  bar.SetShowPercent(false);
  EXPECT_EQ(bar.DisplayText(), "50");
  bar.SetTextFormat("%d of 200");
  EXPECT_EQ(bar.DisplayText(), "50 of 200");
}

TEST(ProgressBar, BarCoversThePercentOfTheWidth) {
  CProgressCtrlX bar;
  bar.resize(202, 20);
  bar.SetShowPercent(true);
  bar.SetTextFormat(" ");  // no text over the sampled pixels
  bar.SetRange(0, 100);
  bar.SetPos(50);
  QImage image = bar.grab().toImage();
  QColor background = bar.palette().color(QPalette::Button);
  EXPECT_NE(image.pixelColor(20, 10), background);
  EXPECT_NE(image.pixelColor(95, 10), background);
  EXPECT_EQ(image.pixelColor(110, 10), background);
  EXPECT_EQ(image.pixelColor(190, 10), background);
  // A border on every side, the right one included.
  QColor border = bar.palette().color(QPalette::Dark);
  for (QPoint p : {QPoint(0, 10), QPoint(201, 10), QPoint(100, 0), QPoint(150, 19)})
    EXPECT_EQ(image.pixelColor(p).rgb(), border.rgb()) << p.x() << "," << p.y();
}

TEST(ProgressBar, AScreenReaderReadsAProgressBarWithItsValue) {
  CProgressCtrlX bar;
  bar.SetShowPercent(true);
  bar.SetRange(0, 100);
  bar.SetPos(42);
  QAccessibleInterface* iface = QAccessible::queryAccessibleInterface(&bar);
  ASSERT_NE(iface, nullptr);
  EXPECT_EQ(iface->role(), QAccessible::ProgressBar);
  EXPECT_EQ(iface->text(QAccessible::Value), "42%");
  QAccessibleValueInterface* value = iface->valueInterface();
  ASSERT_NE(value, nullptr);
  EXPECT_EQ(value->currentValue().toInt(), 42);
  EXPECT_EQ(value->maximumValue().toInt(), 100);
  value->setCurrentValue(7);  // read-only: the user cannot move it
  EXPECT_EQ(bar.GetPos(), 42);
}

// The dialog's download hooks, reachable from the test.
class TestDlg : public COrvliftDlg {
 public:
  using COrvliftDlg::OnDownError;
  using COrvliftDlg::OnDownFinished;
  using COrvliftDlg::OnDownProgress;
  using COrvliftDlg::OnStartDownload;
};

TEST(OrvliftDialog, LayoutAndDownloadEvents) {
  orvtest::TempProgramDir program;  // empty registry
  TestDlg dlg;
  auto buttons = dlg.findChildren<QPushButton*>();
  ASSERT_EQ(buttons.size(), 2);
  EXPECT_EQ(buttons[0]->text(), "升级中...");
  EXPECT_FALSE(buttons[0]->isEnabled());
  EXPECT_TRUE(buttons[1]->isHidden());
  auto* log = dlg.findChild<QPlainTextEdit*>();
  ASSERT_TRUE(log);
  EXPECT_TRUE(log->isReadOnly());

  EXPECT_FALSE(dlg.OnInitDialog());
  EXPECT_EQ(dlg.LogText(), "注册表损坏！\n");

  auto* bar = dlg.findChild<CProgressCtrlX*>();
  ASSERT_TRUE(bar);
  dlg.OnStartDownload("u");
  dlg.OnDownProgress("u", 300, 1200);
  EXPECT_EQ(bar->GetPos(), 25);
  dlg.OnDownProgress("u", 4096, 0);  // unknown size
  EXPECT_EQ(bar->GetPos(), 0);
  dlg.OnDownError("u");
  EXPECT_EQ(
      log->toPlainText(),
      "注册表损坏！\n开始下载更新包，请稍候...\n下载过程出现问题，可能是以下情况:\n"
      "1.网络异常:请检查网络连接或联系网络管理员\n2.本地文件缺失:conf.config文件丢失或位置错误\n"
      "3.服务器文件异常\n\n");
  // An empty installer is a failed download: nothing is uninstalled.
  log->setPlainText("");
  dlg.OnDownFinished("u", nullptr, 0);
  EXPECT_TRUE(dlg.LogText().startsWith("下载过程出现问题")) << dlg.LogText().toStdString();
  EXPECT_FALSE(dlg.LogText().contains("文件下载完成"));
  // Finished without an uninstall entry: only the completion line.
  dlg.OnDownFinished("u", nullptr, 10);
  EXPECT_TRUE(dlg.LogText().endsWith("文件下载完成，正在执行系统更新...\n"));
  EXPECT_FALSE(dlg.InstallerStarted());
}

}  // namespace

int main(int argc, char** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  QApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
