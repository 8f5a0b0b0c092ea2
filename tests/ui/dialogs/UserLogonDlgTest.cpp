// The login dialog against the stand-in login services: filling in the stored credentials,
// Enter and Escape, the platform's error text and a server that is down.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include "DialogTestSupport.h"
#include "client/account/CCredentialStore.h"
#include "client/account/CLoginService.h"
#include "client/base/CIniFile.h"
#include "client/ui/dialogs/CUserLogonDlg.h"
#include "controls/CSkinBtn.h"
#include "controls/SkinImages.h"

namespace {

using orvtest::MessageBoxCatcher;
using orvtest::ScopedEnv;

class UserLogonDlgTest : public ::testing::Test {
 protected:
  void StartLoginServer() {
    m_server = std::make_unique<orvtest::ChildProcess>(
        std::vector<std::string>{ORV_PYTHON, ORV_SOURCE_DIR "/tools/platform-sim/sim_login.py",
                                 "--port", "0", "--record-dir", m_records.Path()});
    const auto vars = m_server->ReadAssignments({"ORVANTA_HOST_WEB"});
    ASSERT_EQ(vars.count("ORVANTA_HOST_WEB"), 1u) << "stand-in did not start";
    m_host = std::make_unique<ScopedEnv>("ORVANTA_HOST_WEB", vars.at("ORVANTA_HOST_WEB"));
  }

  std::unique_ptr<CUserLogonDlg> Open() {
    auto dlg = std::make_unique<CUserLogonDlg>(m_service, [this] { ++m_refreshes; });
    dlg->show();
    return dlg;
  }
  static QComboBox* Name(CUserLogonDlg& d) { return d.findChild<QComboBox*>("userName"); }
  static QLineEdit* Password(CUserLogonDlg& d) { return d.findChild<QLineEdit*>("password"); }
  static QCheckBox* Remember(CUserLogonDlg& d) {
    return d.findChild<QCheckBox*>("rememberPassword");
  }

  // Types into the fields and presses Enter in the password field.
  void LogIn(CUserLogonDlg& dlg, const QString& name, const QString& password) {
    Name(dlg)->setEditText(name);
    Password(dlg)->setText(password);
    Password(dlg)->setFocus();
    QTest::keyClick(Password(dlg), Qt::Key_Return);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !dlg.LoginInFlight(); }, 20000));
  }

  orvtest::TempProgramDir m_dir;
  orvtest::TempDir m_records;
  std::unique_ptr<orvtest::ChildProcess> m_server;
  std::unique_ptr<ScopedEnv> m_host;
  UserSession m_session;
  CLoginService m_service{m_session};
  int m_refreshes = 0;
};

TEST_F(UserLogonDlgTest, WithoutStoredCredentialsOpensEmptyAndUnticked) {
  auto dlg = Open();
  EXPECT_EQ(Name(*dlg)->currentText(), "");
  EXPECT_EQ(Password(*dlg)->text(), "");
  EXPECT_FALSE(Remember(*dlg)->isChecked());
  EXPECT_EQ(Name(*dlg)->count(), 0);
}

// The password and the tick come back only for a stored flag of exactly 1.
TEST_F(UserLogonDlgTest, FillsThePasswordOnlyForARememberFlagOfOne) {
  struct Case {
    const char* flag;
    bool filled;
  };
  for (const Case c : {Case{"0", false}, Case{"1", true}, Case{"2", false}, Case{"x", false}}) {
    ASSERT_TRUE(CCredentialStore::Store("张会计", "kj2026", true));
    CIniFile(CCredentialStore::kFileName)
        .WriteString(CCredentialStore::kSection, "IfRememberPwd", c.flag);
    auto dlg = Open();
    EXPECT_EQ(Name(*dlg)->currentText(), "张会计") << c.flag;
    EXPECT_EQ(Password(*dlg)->text(), c.filled ? "kj2026" : "") << c.flag;
    EXPECT_EQ(Remember(*dlg)->isChecked(), c.filled) << c.flag;
  }
}

TEST_F(UserLogonDlgTest, EnterInThePasswordFieldLogsInAndClosesTheDialog) {
  StartLoginServer();
  auto dlg = Open();
  Remember(*dlg)->setChecked(true);
  MessageBoxCatcher boxes;
  LogIn(*dlg, "张会计", "kj2026");
  EXPECT_EQ(dlg->result(), QDialog::Accepted);
  EXPECT_FALSE(dlg->isVisible());
  EXPECT_EQ(m_session.loggedIn, 1);
  EXPECT_EQ(m_session.userName, "张会计");
  EXPECT_EQ(m_refreshes, 1);
  EXPECT_TRUE(boxes.Texts().isEmpty());
  const StoredCredentials stored = CCredentialStore::Read();
  EXPECT_EQ(stored.password, "kj2026");
  EXPECT_EQ(stored.rememberPassword, 1);
}

TEST_F(UserLogonDlgTest, EscapeAndTheCloseButtonCancelWithoutLoggingIn) {
  StartLoginServer();
  for (bool escape : {true, false}) {
    auto dlg = Open();
    Name(*dlg)->setEditText("demo");
    if (escape) {
      QTest::keyClick(Name(*dlg), Qt::Key_Escape);
    } else {
      dlg->findChild<CSkinBtn*>("close")->click();
    }
    EXPECT_EQ(dlg->result(), QDialog::Rejected);
    EXPECT_FALSE(dlg->isVisible());
  }
  EXPECT_EQ(m_session.loggedIn, 0);
  EXPECT_EQ(m_refreshes, 0);
  EXPECT_FALSE(CCredentialStore::Read().usable);  // nothing was attempted
}

TEST_F(UserLogonDlgTest, WrongPasswordShowsThePlatformTextAndStaysOpen) {
  StartLoginServer();
  auto dlg = Open();
  MessageBoxCatcher boxes([&] {
    orvtest::SaveShot(*dlg, "login_dialog_error");
    orvtest::SaveShownMessageBox("login_error_box");
  });
  LogIn(*dlg, "demo", "wrong");
  ASSERT_EQ(boxes.Texts().size(), 1);
  EXPECT_EQ(boxes.Texts()[0], "用户名或密码错误");
  EXPECT_EQ(boxes.Captions()[0], "");
  EXPECT_TRUE(dlg->isVisible());
  EXPECT_EQ(Name(*dlg)->currentText(), "demo");
  EXPECT_EQ(Password(*dlg)->text(), "wrong");
  EXPECT_EQ(m_session.loggedIn, 0);
  EXPECT_EQ(m_refreshes, 1);
  // What was typed is already stored: the name, and no password without "记住密码".
  EXPECT_EQ(CCredentialStore::Read().userName, "demo");
  EXPECT_EQ(CCredentialStore::Read().password, "");

  // A second attempt from the same dialog succeeds.
  LogIn(*dlg, "demo", "demo123");
  EXPECT_EQ(dlg->result(), QDialog::Accepted);
  EXPECT_EQ(m_session.loggedIn, 1);
  EXPECT_EQ(boxes.Texts().size(), 1);
}

// A failure without the platform's text (nobody listening) is never silent.
TEST_F(UserLogonDlgTest, LoginServiceDownShowsLoginFailed) {
  ScopedEnv host("ORVANTA_HOST_WEB", "127.0.0.1:" + std::to_string(orvtest::ClosedLoopbackPort()));
  auto dlg = Open();
  MessageBoxCatcher boxes;
  LogIn(*dlg, "demo", "demo123");
  ASSERT_EQ(boxes.Texts().size(), 1);
  EXPECT_EQ(boxes.Texts()[0], "登录失败！");
  EXPECT_TRUE(dlg->isVisible());
  EXPECT_EQ(m_refreshes, 1);
}

TEST_F(UserLogonDlgTest, DrawsTheTitleBandPlacesTheCloseButtonAndNamesEveryControl) {
  auto dlg = Open();
  auto* close = dlg->findChild<CSkinBtn*>("close");
  EXPECT_EQ(close->geometry(), QRect(dlg->width() - 35, 5, 45, 20));
  EXPECT_EQ(close->text(), "");
  EXPECT_FALSE(close->Image(CSkinBtn::kHover).isNull());

  const QImage title(SkinImagePath(QString::fromUtf8(CUserLogonDlg::kTitleImage)));
  ASSERT_FALSE(title.isNull());
  const QImage shot = dlg->grab().toImage();
  // The band is the title bitmap at its own size; below it the plain background.
  EXPECT_EQ(shot.pixelColor(40, 12).rgb(), title.pixelColor(40, 12).rgb());
  EXPECT_EQ(shot.pixelColor(dlg->width() / 2, 24).rgb(),
            title.pixelColor(dlg->width() / 2, 24).rgb());
  EXPECT_EQ(shot.pixelColor(3, 40), QColor(246, 249, 252));
  orvtest::ExpectEveryReachableControlNamed(*dlg);
  orvtest::SaveShot(*dlg, "login_dialog");
}

}  // namespace
