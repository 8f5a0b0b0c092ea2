#include <gtest/gtest.h>

#include <QAccessible>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <map>
#include <vector>

#include "controls/CMessageBoxDialog.h"

namespace {

using Box = CMessageBoxDialog;

// Remembered answers kept in memory, so the tests can see what the box reads and writes.
class MemoryProfile : public IMessageBoxProfile {
 public:
  int GetProfileInt(const QString& section, const QString& key, int defaultValue) override {
    ++reads;
    auto it = values.find(section + "/" + key);
    return it == values.end() ? defaultValue : it->second;
  }
  bool WriteProfileInt(const QString& section, const QString& key, int value) override {
    values[section + "/" + key] = value;
    return true;
  }
  void RemoveSection(const QString& section) override {
    for (auto it = values.begin(); it != values.end();)
      it = it->first.startsWith(section + "/") ? values.erase(it) : std::next(it);
  }
  std::map<QString, int> values;
  int reads = 0;
};

// Notes whether the watched widget was ever shown.
class ShowSpy : public QObject {
 public:
  bool eventFilter(QObject*, QEvent* event) override {
    if (event->type() == QEvent::Show) shown = true;
    return false;
  }
  bool shown = false;
};

class MessageBoxTest : public ::testing::Test {
 protected:
  void SetUp() override {
    m_profile = std::make_shared<MemoryProfile>();
    Box::SetProfile(m_profile);
  }
  void TearDown() override { Box::SetProfile(nullptr); }

  static void Key(QWidget* target, int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    QKeyEvent press(QEvent::KeyPress, key, modifiers);
    QCoreApplication::sendEvent(target, &press);
  }
  // Shows a prepared box without a modal loop; `result()` tells whether it ended.
  static void Open(Box& box) {
    box.Prepare();
    box.show();
    box.setResult(0);
  }

  std::shared_ptr<MemoryProfile> m_profile;
};

struct SetCase {
  unsigned flags;
  std::vector<int> ids;
  int defaultId;
  int cancelId;
};

TEST_F(MessageBoxTest, ButtonSetsDefaultsAndCancelIds) {
  const SetCase cases[] = {
      {Box::kOk, {1}, 1, 1},
      {Box::kOkCancel, {1, 2}, 1, 2},
      {Box::kAbortRetryIgnore, {3, 4, 5}, 3, -1},
      {Box::kYesNoCancel, {6, 7, 2}, 6, 2},
      {Box::kYesNo, {6, 7}, 6, -1},
      {Box::kRetryCancel, {4, 2}, 4, 2},
      {Box::kCancelTryContinue, {2, 10, 11}, 2, 2},
      {Box::kContinueAbort, {11, 3}, 11, -1},
      {Box::kSkipSkipAllCancel, {16, 17, 2}, 16, 2},
      {Box::kIgnoreIgnoreAllCancel, {5, 18, 2}, 5, 2},
      // Extra buttons.
      {Box::kYesNoCancel | Box::kYesToAll | Box::kNoToAll, {6, 14, 7, 15, 2}, 6, 2},
      {Box::kYesNo | Box::kNoToAll | Box::kHelp, {6, 7, 15, 9}, 6, -1},
      {Box::kOk | Box::kYesToAll, {1}, 1, 1},  // yes-to-all only with the yes/no sets
      // Default button by position; a position past the list keeps the set's default.
      {Box::kYesNoCancel | 0x200, {6, 7, 2}, 2, 2},
      {Box::kYesNo | 0x100, {6, 7}, 7, -1},
      {Box::kOkCancel | 0x300, {1, 2}, 1, 2},
      {Box::kYesNoCancel | Box::kYesToAll | Box::kNoToAll | 0x400, {6, 14, 7, 15, 2}, 2, 2},
  };
  for (const SetCase& c : cases) {
    SCOPED_TRACE(testing::Message() << "flags 0x" << std::hex << c.flags);
    Box box(nullptr, QStringLiteral("text"), QString(), c.flags | Box::kNoSound);
    box.Prepare();
    EXPECT_EQ(box.ButtonIds(), c.ids);
    EXPECT_EQ(box.DefaultId(), c.defaultId);
    EXPECT_EQ(box.CancelId(), c.cancelId);
    EXPECT_TRUE(box.Button(c.defaultId)->isDefault());
  }
}

TEST_F(MessageBoxTest, LabelsComeFromTheTableUnlessReplaced) {
  Box box(nullptr, QStringLiteral("text"), QString(),
          Box::kYesNoCancel | Box::kYesToAll | Box::kNoToAll | Box::kNoSound);
  box.SetButtonLabel(Box::kIdNo, QStringLiteral("卸载"));
  box.Prepare();
  EXPECT_EQ(box.ButtonText(Box::kIdYes), QStringLiteral("是"));
  EXPECT_EQ(box.ButtonText(Box::kIdYesToAll), QStringLiteral("全是"));
  EXPECT_EQ(box.ButtonText(Box::kIdNo), QStringLiteral("卸载"));
  EXPECT_EQ(box.ButtonText(Box::kIdNoToAll), QStringLiteral("全否"));
  EXPECT_EQ(box.ButtonText(Box::kIdCancel), QStringLiteral("取消"));
  EXPECT_EQ(Box::StandardButtonText(Box::kIdTryAgain), QStringLiteral("重试"));
  EXPECT_EQ(Box::StandardButtonText(Box::kIdSkipAll), QStringLiteral("跳过所有"));
  EXPECT_EQ(Box::StandardButtonText(Box::kIdIgnoreAll), QStringLiteral("忽略所有"));
}

TEST_F(MessageBoxTest, TitleDefaultsToTheApplicationName) {
  Box untitled(nullptr, QStringLiteral("text"));
  EXPECT_EQ(untitled.windowTitle(), QApplication::applicationName());
  Box titled(nullptr, QStringLiteral("text"), QStringLiteral("提示"));
  EXPECT_EQ(titled.windowTitle(), QStringLiteral("提示"));
}

TEST_F(MessageBoxTest, ScreenReaderNameIsTheCaptionOrForABlankOneTheFirstLine) {
  struct Case {
    QString caption;
    bool blanked;  // the caption cleared after construction, as the login dialog does
    QString name;
  };
  const Case cases[] = {
      {QStringLiteral("提示"), false, QStringLiteral("提示")},
      {QString(), false, QApplication::applicationName()},
      {QString(), true, QStringLiteral("登录失败！")},
  };
  for (const Case& c : cases) {
    Box box(nullptr, QStringLiteral("登录失败！\n请重试"), c.caption, Box::kOk | Box::kNoSound);
    if (c.blanked) box.setWindowTitle(QString());
    box.Prepare();
    QAccessibleInterface* face = QAccessible::queryAccessibleInterface(&box);
    ASSERT_NE(face, nullptr);
    EXPECT_EQ(face->text(QAccessible::Name), c.name);
    EXPECT_EQ(face->text(QAccessible::Description), QStringLiteral("登录失败！\n请重试"));
  }
}

TEST_F(MessageBoxTest, YesNoBoxIgnoresEscapeCtrlBreakAndClose) {
  Box box(nullptr, QStringLiteral("继续?"), QString(), Box::kYesNo | Box::kNoSound);
  Open(box);
  Key(&box, Qt::Key_Escape);
  Key(&box, Qt::Key_Pause, Qt::ControlModifier);
  box.reject();
  EXPECT_FALSE(box.close());
  EXPECT_TRUE(box.isVisible());
  EXPECT_EQ(box.result(), 0);
  EXPECT_FALSE(box.windowFlags() & Qt::WindowCloseButtonHint);
  box.Button(Box::kIdNo)->click();
  EXPECT_FALSE(box.isVisible());
  EXPECT_EQ(box.result(), Box::kIdNo);
}

TEST_F(MessageBoxTest, EscapeAndCloseEndWithTheCancelId) {
  {
    Box box(nullptr, QStringLiteral("x"), QString(), Box::kYesNoCancel | Box::kNoSound);
    Open(box);
    Key(&box, Qt::Key_Escape);
    EXPECT_EQ(box.result(), Box::kIdCancel);
  }
  {
    Box box(nullptr, QStringLiteral("x"), QString(), Box::kOk | Box::kNoSound);
    Open(box);
    EXPECT_TRUE(box.close());
    EXPECT_EQ(box.result(), Box::kIdOk);
  }
}

TEST_F(MessageBoxTest, EnterPressesTheFocusedButtonElseTheDefault) {
  {
    Box box(nullptr, QStringLiteral("x"), QString(), Box::kYesNoCancel | Box::kNoSound);
    Open(box);
    box.Button(Box::kIdNo)->setFocus();
    ASSERT_EQ(box.focusWidget(), box.Button(Box::kIdNo));
    Key(&box, Qt::Key_Return);
    EXPECT_EQ(box.result(), Box::kIdNo);
  }
  {
    Box box(nullptr, QStringLiteral("x"), QString(),
            Box::kYesNoCancel | Box::kDontAskAgain | Box::kNoSound | 0x100);
    Open(box);
    box.CheckBox()->setFocus();
    Key(&box, Qt::Key_Enter);
    EXPECT_EQ(box.result(), Box::kIdNo);  // the default, second button
  }
}

TEST_F(MessageBoxTest, HelpButtonReportsTheHelpIdAndKeepsTheBoxOpen) {
  Box box(nullptr, QStringLiteral("x"), QString(), Box::kOk | Box::kHelp | Box::kNoSound, 4711);
  int asked = 0;
  QObject::connect(&box, &Box::helpRequested, [&](int id) { asked = id; });
  Open(box);
  box.Button(Box::kIdHelp)->click();
  EXPECT_EQ(asked, 4711);
  EXPECT_TRUE(box.isVisible());
}

TEST_F(MessageBoxTest, FiveSecondCountdownEndsWithYesOnTheFifthTick) {
  Box box(nullptr, QStringLiteral("立即升级?"), QString(), Box::kYesNo | Box::kNoSound);
  box.SetTimeout(5);
  std::vector<QString> labels;
  bool openAfterFourTicks = false;
  // Drive the countdown from inside the modal loop instead of waiting five seconds.
  QTimer::singleShot(0, &box, [&] {
    labels.push_back(box.ButtonText(Box::kIdYes));
    for (int tick = 1; tick <= 4; ++tick) {
      box.CountdownTick();
      labels.push_back(box.ButtonText(Box::kIdYes));
    }
    openAfterFourTicks = box.isVisible();
    EXPECT_TRUE(box.Button(Box::kIdNo)->isEnabled());
    box.CountdownTick();
  });
  EXPECT_EQ(box.DoModal(), Box::kIdYes);
  EXPECT_TRUE(openAfterFourTicks);
  const std::vector<QString> expected = {QStringLiteral("是 = 5"), QStringLiteral("是 = 4"),
                                         QStringLiteral("是 = 3"), QStringLiteral("是 = 2"),
                                         QStringLiteral("是 = 1")};
  EXPECT_EQ(labels, expected);
  EXPECT_EQ(box.ButtonText(Box::kIdNo), QStringLiteral("否"));
}

TEST_F(MessageBoxTest, CountdownRunsOnItsOwnOnceASecond) {
  Box box(nullptr, QStringLiteral("立即升级?"), QString(), Box::kYesNo | Box::kNoSound | 0x100);
  box.SetTimeout(2);
  QString firstLabel;
  QTimer::singleShot(0, &box, [&] { firstLabel = box.ButtonText(Box::kIdNo); });
  // Should the countdown never end the box, close it so the test fails instead of hanging.
  QTimer::singleShot(6000, &box, [&] { box.done(99); });
  QElapsedTimer elapsed;
  elapsed.start();
  EXPECT_EQ(box.DoModal(), Box::kIdNo);  // the default, second button
  EXPECT_GE(elapsed.elapsed(), 1800);
  EXPECT_EQ(firstLabel, QStringLiteral("否 = 2"));
}

TEST_F(MessageBoxTest, CountdownKeepsAReplacedLabel) {
  Box box(nullptr, QStringLiteral("x"), QString(), Box::kYesNo | Box::kNoSound);
  box.SetButtonLabel(Box::kIdYes, QStringLiteral("安装"));
  box.SetTimeout(3);
  Open(box);
  EXPECT_EQ(box.ButtonText(Box::kIdYes), QStringLiteral("安装 = 3"));
  box.CountdownTick();
  EXPECT_EQ(box.ButtonText(Box::kIdYes), QStringLiteral("安装 = 2"));
}

TEST_F(MessageBoxTest, DisableUntilTimeoutLocksButtonsKeysAndClose) {
  Box box(nullptr, QStringLiteral("请阅读说明"), QString(),
          Box::kOkCancel | Box::kDontDisplayAgain | Box::kNoSound);
  box.SetTimeout(2, /*disableUntilTimeout=*/true);
  Open(box);
  EXPECT_FALSE(box.Button(Box::kIdOk)->isEnabled());
  EXPECT_FALSE(box.Button(Box::kIdCancel)->isEnabled());
  EXPECT_FALSE(box.CheckBox()->isEnabled());
  EXPECT_EQ(box.ButtonText(Box::kIdOk), QStringLiteral("确定 = 2"));
  Key(&box, Qt::Key_Escape);
  Key(&box, Qt::Key_Return);
  EXPECT_FALSE(box.close());
  EXPECT_TRUE(box.isVisible());

  box.CountdownTick();
  box.CountdownTick();  // reaches 0: unlocked, not ended
  EXPECT_TRUE(box.isVisible());
  EXPECT_TRUE(box.Button(Box::kIdOk)->isEnabled());
  EXPECT_TRUE(box.CheckBox()->isEnabled());
  EXPECT_EQ(box.ButtonText(Box::kIdOk), QStringLiteral("确定"));
  Key(&box, Qt::Key_Escape);
  EXPECT_EQ(box.result(), Box::kIdCancel);
}

TEST_F(MessageBoxTest, TickedCheckBoxRemembersTheAnswerUnderTheHelpId) {
  Box box(nullptr, QStringLiteral("x"), QString(), Box::kYesNo | Box::kDontAskAgain | Box::kNoSound,
          321);
  Open(box);
  EXPECT_EQ(box.CheckBox()->text(), QStringLiteral("不再询问"));
  box.CheckBox()->setChecked(true);
  box.Button(Box::kIdNo)->click();
  EXPECT_EQ(m_profile->values[QStringLiteral("MessageBoxes/321")], Box::kIdNo);
}

TEST_F(MessageBoxTest, UntickedCheckBoxRemembersNothing) {
  Box box(nullptr, QStringLiteral("x"), QString(),
          Box::kYesNo | Box::kDontDisplayAgain | Box::kNoSound, 321);
  Open(box);
  EXPECT_EQ(box.CheckBox()->text(), QStringLiteral("不再显示"));
  box.Button(Box::kIdYes)->click();
  EXPECT_TRUE(m_profile->values.empty());
}

TEST_F(MessageBoxTest, RememberedAnswerIsReturnedWithoutShowingTheBox) {
  m_profile->values[QStringLiteral("MessageBoxes/55")] = Box::kIdNo;
  Box box(nullptr, QStringLiteral("x"), QString(),
          Box::kYesNo | Box::kDontDisplayAgain | Box::kNoSound, 55);
  ShowSpy spy;
  box.installEventFilter(&spy);
  // Should the box open anyway, end it so the test fails instead of hanging.
  QTimer::singleShot(0, &box, [&] { box.done(99); });
  EXPECT_EQ(box.DoModal(), Box::kIdNo);
  EXPECT_FALSE(spy.shown);
  EXPECT_TRUE(box.ButtonIds().empty());
}

TEST_F(MessageBoxTest, WithoutCheckBoxFlagTheProfileIsNotConsulted) {
  m_profile->values[QStringLiteral("MessageBoxes/55")] = Box::kIdNo;
  Box box(nullptr, QStringLiteral("x"), QString(), Box::kYesNo | Box::kNoSound, 55);
  QTimer::singleShot(0, &box, [&] { box.Button(Box::kIdYes)->click(); });
  EXPECT_EQ(box.DoModal(), Box::kIdYes);
  EXPECT_EQ(m_profile->reads, 0);
}

TEST_F(MessageBoxTest, KeyIsTheSignedGbkByteSumWhenThereIsNoHelpId) {
  EXPECT_EQ(Box::RememberedAnswerKey(77, QStringLiteral("whatever")), QStringLiteral("77"));
  EXPECT_EQ(Box::RememberedAnswerKey(-3, QStringLiteral("x")), QStringLiteral("-3"));
  // 'a' x 0 + 'b' x 1 + 'c' x 2
  EXPECT_EQ(Box::RememberedAnswerKey(0, QStringLiteral("abc")), QStringLiteral("296"));
  // "是否" in GBK is CA C7 B7 F1: -54 x 0 + -57 x 1 + -73 x 2 + -15 x 3
  EXPECT_EQ(Box::RememberedAnswerKey(0, QStringLiteral("是否")), QStringLiteral("-248"));
  EXPECT_EQ(Box::RememberedAnswerKey(0, QString()), QStringLiteral("0"));
}

TEST_F(MessageBoxTest, ResetForgetsEveryRememberedAnswer) {
  m_profile->values[QStringLiteral("MessageBoxes/1")] = 6;
  m_profile->values[QStringLiteral("Other/1")] = 6;
  Box::ResetRememberedAnswers();
  EXPECT_EQ(m_profile->values.count(QStringLiteral("MessageBoxes/1")), 0u);
  EXPECT_EQ(m_profile->values.count(QStringLiteral("Other/1")), 1u);
}

TEST(IniMessageBoxProfileTest, WritesReadsAndRemovesInTheIniFile) {
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  IniMessageBoxProfile profile(dir.filePath(QStringLiteral("Orvanta.ini")));
  EXPECT_EQ(profile.GetProfileInt(QStringLiteral("MessageBoxes"), QStringLiteral("-248"), -1), -1);
  EXPECT_TRUE(profile.WriteProfileInt(QStringLiteral("MessageBoxes"), QStringLiteral("-248"), 7));
  EXPECT_TRUE(profile.WriteProfileInt(QStringLiteral("Keep"), QStringLiteral("a"), 1));
  IniMessageBoxProfile reopened(dir.filePath(QStringLiteral("Orvanta.ini")));
  EXPECT_EQ(reopened.GetProfileInt(QStringLiteral("MessageBoxes"), QStringLiteral("-248"), -1), 7);
  reopened.RemoveSection(QStringLiteral("MessageBoxes"));
  EXPECT_EQ(profile.GetProfileInt(QStringLiteral("MessageBoxes"), QStringLiteral("-248"), -1), -1);
  EXPECT_EQ(profile.GetProfileInt(QStringLiteral("Keep"), QStringLiteral("a"), -1), 1);
}

}  // namespace
