// The decision rules of the registry and printer checks, and the rows the page shows.
#include <gtest/gtest.h>

#include "client/diagnosis/DiagnosisRow.h"
#include "client/diagnosis/DiagnosisRules.h"

namespace {

TEST(FinanceSoftwareClassification, EachKindNeedsBothWordsAndFirstMatchWins) {
  struct Case {
    const char* name;
    int slot;
  } cases[] = {
      {"用友U8管理软件", 0},
      {"用友T6企业管理软件", 1},
      {"用友T3标准版", 2},  // T3 comes before the kingdee kinds
      {"金蝶财务专业版", 3},
      {"金蝶财务标准版", 4},
      {"金蝶财务迷你版", 5},
      {"管家婆财务软件", 6},
      {"管家婆个人版", 7},
      {"用友U8 管家婆", 0},  // first match wins
      {"用友 T6 T3", 1},     // T6 is tested before T3
      {"管家婆财务 个人版", 6},
      {"用友", -1},  // one word alone is not enough
      {"U8", -1},
      {"金蝶财务旗舰版", -1},
      {"yongyou u8", -1},  // case-sensitive, byte-wise
      {"用友u8", -1},
      {"", -1},
  };
  for (const Case& c : cases) EXPECT_EQ(ClassifyFinanceSoftware(c.name), c.slot) << c.name;
}

TEST(BrowserVersionRule, ComparesTheMajorPartAsANumber) {
  EXPECT_TRUE(IsBrowserVersionAcceptable("9.11.9600.17843"));
  EXPECT_TRUE(IsBrowserVersionAcceptable("10.0"));
  EXPECT_TRUE(IsBrowserVersionAcceptable("8.0.6001.18702"));
  EXPECT_FALSE(IsBrowserVersionAcceptable("11"));  // no "." and so no major part
  EXPECT_TRUE(IsBrowserVersionAcceptable("11."));
  EXPECT_FALSE(IsBrowserVersionAcceptable("7.0.5730.13"));
  EXPECT_FALSE(IsBrowserVersionAcceptable("6.0"));
  EXPECT_FALSE(IsBrowserVersionAcceptable(""));
  EXPECT_FALSE(IsBrowserVersionAcceptable(".9"));
  EXPECT_FALSE(IsBrowserVersionAcceptable("x.0"));
  EXPECT_FALSE(IsBrowserVersionAcceptable("9a.0"));
  EXPECT_FALSE(IsBrowserVersionAcceptable("-9.0"));
  EXPECT_FALSE(IsBrowserVersionAcceptable("99999999999999999999999.0"));
}

TEST(SupportedPrinter, MatchesQueueNameOrDescriptionExactly) {
  using plat::PrinterInfo;
  EXPECT_FALSE(HasSupportedPrinter({}));
  EXPECT_FALSE(HasSupportedPrinter({{"HP_LaserJet_1020", "HP LaserJet 1020"}}));
  EXPECT_TRUE(HasSupportedPrinter(
      {{"HP_LaserJet_1020", "HP LaserJet 1020"}, {"xps", "Microsoft XPS Document Writer"}}));
  EXPECT_TRUE(HasSupportedPrinter({{"Microsoft Shared Fax Driver", ""}}));
  EXPECT_TRUE(HasSupportedPrinter({{"q", "Microsoft Office Document Image Writer Driver"}}));
  EXPECT_FALSE(
      HasSupportedPrinter({{"Microsoft_XPS_Document_Writer", "microsoft xps document writer"}}));
  EXPECT_FALSE(HasSupportedPrinter({{"q", "Microsoft XPS Document Writer "}}));
}

struct RowCase {
  int check;
  int outcome;
  const char* label;
  const char* result;
  int rowOutcome;
};

TEST(DiagnosisRows, LabelResultAndIconForEveryOutcome) {
  const RowCase cases[] = {
      {1, 0, "网络连通检测", "正常", 1},
      {1, -1, "网络连通检测：请检查是否接入互联网，或与管理员联系", "异常", 3},
      {2, 0, "服务器检测", "正常", 1},
      {2, 1, "服务器检测", "正常", 1},
      {2, 2, "服务器检测", "正常", 1},
      {2, -1, "服务器检测：无法连接VPN服务器，请与管理员联系", "异常", 3},
      {3, 0, "软件完整性检测", "正常", 1},
      {3, -1, "软件完整性检测：无法获取服务器完整性信息", "异常", 3},
      {3, -2, "软件完整性检测", "异常", 2},
      {4, 0, "版本更新检测", "正常", 1},
      {4, 1, "版本更新检测：必须升级", "异常", 3},
      {4, 2, "版本更新检测：建议升级", "异常", 2},
      {4, -1, "版本更新检测：无法获取更新信息", "异常", 3},
      {5, 0, "财务控件安装情况检测", "正常", 1},
      {5, -1, "财务控件安装情况检测：未检测到财税控件", "正常", 2},
      {6, 0, "其他财务软件检测", "点击提交", 1},
      {6, 3, "其他财务软件检测", "点击提交", 1},
      {7, 0, "IE浏览器检测", "正常", 1},
      {7, -1, "IE浏览器检测：IE版本不正确", "异常", 3},
      {8, 0, "打印机驱动检测", "正常", 1},
      {8, -1, "打印机驱动检测", "异常", 3},
  };
  for (const RowCase& c : cases) {
    SCOPED_TRACE(testing::Message() << "check " << c.check << " outcome " << c.outcome);
    const DiagnosisRow row = DiagnosisRowFor(c.check, c.outcome);
    EXPECT_EQ(row.label, c.label);
    EXPECT_EQ(row.resultText, c.result);
    EXPECT_EQ(row.rowOutcome, c.rowOutcome);
  }
}

TEST(DiagnosisRows, NamesAndUnknownInputs) {
  EXPECT_EQ(DiagnosisCheckName(1), "网络连通检测");
  EXPECT_EQ(DiagnosisCheckName(8), "打印机驱动检测");
  EXPECT_EQ(DiagnosisCheckName(0), "");
  EXPECT_EQ(DiagnosisCheckName(9), "");
  // An outcome a check never returns is shown as that check's failure, never as a pass.
  EXPECT_EQ(DiagnosisRowFor(2, 7).rowOutcome, kRowFailed);
  EXPECT_EQ(DiagnosisRowFor(4, -5).label, "版本更新检测：无法获取更新信息");
  EXPECT_EQ(DiagnosisRowFor(9, 0).rowOutcome, kRowNotChecked);
}

}  // namespace
