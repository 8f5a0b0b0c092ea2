// The service desk against the stand-in platform's OA server: service types, the empty-field
// rule, the enterprise lookup, reset, and a Chinese work order arriving intact.
#include <gtest/gtest.h>
#include <json/json.h>

#include <QComboBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>

#include "DialogTestSupport.h"
#include "client/ui/dialogs/CServiceDialog.h"

namespace {

using orvtest::MessageBoxCatcher;

class ServiceDialogTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { s_sim = new orvtest::SimPlatform; }
  static void TearDownTestSuite() {
    delete s_sim;
    s_sim = nullptr;
  }
  void SetUp() override {
    ASSERT_TRUE(s_sim->Started());
    m_page.show();
  }

  QLineEdit* Edit(const char* name) { return m_page.findChild<QLineEdit*>(name); }
  QPlainTextEdit* Remarks() { return m_page.findChild<QPlainTextEdit*>("remarks"); }
  QComboBox* Types() { return m_page.findChild<QComboBox*>("serviceType"); }
  // Clicks a button and waits for the request it started, if any, to be answered.
  void Click(const char* button) {
    m_page.findChild<QPushButton*>(button)->click();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !m_page.RequestInFlight(); }, 10000));
  }
  void Fill(const QStringList& six) {
    const char* names[] = {"taxNumber", "enterpriseName", "contactName", "contactPhone",
                           "contactAddress"};
    for (int i = 0; i < 5; ++i) Edit(names[i])->setText(six[i]);
    Remarks()->setPlainText(six[5]);
  }
  // Requests that reached the OA server's path so far.
  static int Requests(const std::string& path) {
    Json::Value list;
    std::istringstream(s_sim->Control("/records?kind=requests")) >> list;
    int n = 0;
    for (const Json::Value& r : list) n += r["path"].asString() == path;
    return n;
  }

  static orvtest::SimPlatform* s_sim;
  orvtest::TempProgramDir m_dir;
  CServiceDialog m_page;
};

orvtest::SimPlatform* ServiceDialogTest::s_sim = nullptr;

TEST_F(ServiceDialogTest, BuiltInTypesSelectTheSecondAndSoDoReplacedOnes) {
  ASSERT_EQ(Types()->count(), 11);
  EXPECT_EQ(Types()->itemText(0), "网上申报培训");
  EXPECT_EQ(Types()->itemText(10), "IT咨询服务");
  EXPECT_EQ(Types()->currentText(), "代理申报");

  m_page.ReplaceServiceTypes({{1, "税务咨询"}, {2, "发票代开"}, {3, "社保代缴"}});
  ASSERT_EQ(Types()->count(), 3);
  EXPECT_EQ(Types()->currentText(), "发票代开");
  EXPECT_EQ(Types()->currentIndex(), 1);
}

// Each of the six fields is required; nothing is sent while one is empty.
TEST_F(ServiceDialogTest, AnyEmptyFieldShowsTheEmptyDataMessageAndSendsNothing) {
  MessageBoxCatcher boxes;
  const QStringList full = {"91110108MA01ABCD2X", "企业", "联系人", "010-1", "地址", "备注"};
  for (int empty = 5; empty >= 0; --empty) {  // the remarks first
    QStringList six = full;
    six[empty].clear();
    Fill(six);
    Click("submit");
    ASSERT_EQ(boxes.Texts().size(), 6 - empty);
    EXPECT_EQ(boxes.Texts().back(), "提交数据不允许为空") << empty;
  }
  EXPECT_EQ(Requests("/web/addgdsmdAction.do"), 0);
}

// An answer with an information text and no data empties the five fields first.
TEST_F(ServiceDialogTest, LookupWithAnInformationTextAndNoDataEmptiesTheFields) {
  QStringList atBox;
  MessageBoxCatcher boxes([&] {
    for (const char* n :
         {"taxNumber", "enterpriseName", "contactName", "contactPhone", "contactAddress"}) {
      atBox << Edit(n)->text();
    }
  });
  Fill({"000000", "旧企业", "旧联系人", "123", "旧地址", "备注保留"});
  Click("lookup");
  ASSERT_EQ(boxes.Texts().size(), 1);
  EXPECT_EQ(boxes.Texts()[0], "未查询到该纳税人信息");
  EXPECT_EQ(atBox, QStringList({"", "", "", "", ""}));
  EXPECT_EQ(Remarks()->toPlainText(), "备注保留");
}

// A found taxpayer comes back with its data and no information text: the form fills silently.
TEST_F(ServiceDialogTest, LookupOfAKnownTaxpayerFillsTheFiveFields) {
  MessageBoxCatcher boxes;
  Fill({"91310115MA1K3XYZ9Q", "", "", "", "", ""});
  Click("lookup");
  EXPECT_EQ(Edit("enterpriseName")->text(), "上海浦江贸易有限公司");
  EXPECT_EQ(Edit("contactName")->text(), "陈静");
  EXPECT_EQ(Edit("contactPhone")->text(), "021-58776655");
  EXPECT_EQ(Edit("contactAddress")->text(), "上海市浦东新区张杨路500号");
  EXPECT_EQ(Edit("taxNumber")->text(), "91310115MA1K3XYZ9Q");
  EXPECT_TRUE(boxes.Texts().isEmpty());
}

TEST_F(ServiceDialogTest, ResetEmptiesTheFormAndKeepsTheType) {
  Types()->setCurrentIndex(4);
  Fill({"1", "2", "3", "4", "5", "6"});
  Click("reset");
  for (const char* n :
       {"taxNumber", "enterpriseName", "contactName", "contactPhone", "contactAddress"}) {
    EXPECT_EQ(Edit(n)->text(), "") << n;
  }
  EXPECT_EQ(Remarks()->toPlainText(), "");
  EXPECT_EQ(Types()->currentText(), "电脑维护");
}

// Chinese text and the query's own specials arrive at the OA server as typed.
TEST_F(ServiceDialogTest, WorkOrderWithChineseTextArrivesIntact) {
  MessageBoxCatcher boxes;
  const QStringList six = {
      "91110108MA01ABCD2X", "北京云帆财税咨询有限公司", "王晓明",
      "010-6288 1234",      "海淀区中关村大街27号#3",   "请周三上午上门&带发票=2份 100%"};
  Fill(six);
  Click("submit");
  ASSERT_EQ(boxes.Texts().size(), 1);
  EXPECT_EQ(boxes.Texts()[0], "工单提交成功，客服将尽快与您联系");

  Json::Value orders;
  std::istringstream(s_sim->Control("/records?kind=workorder")) >> orders;
  ASSERT_TRUE(orders.isArray());
  ASSERT_GE(orders.size(), 1u);
  const Json::Value& last = orders[orders.size() - 1];
  const char* keys[] = {"nsrsbh", "nsrmc", "lxrmc", "lxrdh", "lxrdz", "bz"};
  for (int i = 0; i < 6; ++i) {
    EXPECT_EQ(last[keys[i]].asString(), six[i].toStdString()) << keys[i];
  }
  // The form is kept after a submission.
  EXPECT_EQ(Edit("enterpriseName")->text(), six[1]);
  orvtest::SaveShot(m_page, "service_desk");
}

TEST_F(ServiceDialogTest, PaintsThePageColourAndNamesEveryControl) {
  const QImage shot = m_page.grab().toImage();
  EXPECT_EQ(shot.pixelColor(5, 5), QColor(196, 210, 219));
  orvtest::ExpectEveryReachableControlNamed(m_page);
}

}  // namespace
