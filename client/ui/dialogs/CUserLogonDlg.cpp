#include "client/ui/dialogs/CUserLogonDlg.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>

#include "client/account/CCredentialStore.h"
#include "client/account/CLoginService.h"
#include "client/base/ServerConfig.h"
#include "client/base/ShellText.h"
#include "client/ui/dialogs/DialogWidgets.h"
#include "client/ui/shell/CoreCall.h"
#include "controls/CNamedComboBox.h"
#include "controls/CSkinBtn.h"
#include "controls/DialogUnits.h"
#include "controls/SkinImages.h"

namespace {

// Shown when a login fails without the platform's own text (no answer, a garbled one).
const char* const kLoginFailed = "登录失败！";

const QColor kBorderColor(38, 59, 90);
const QColor kBackgroundColor(246, 249, 252);

QString Utf8(const std::string& text) { return QString::fromStdString(text); }

}  // namespace

CUserLogonDlg::CUserLogonDlg(CLoginService& service, std::function<void()> refreshLoginDisplay,
                             QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::FramelessWindowHint),
      m_service(service),
      m_refresh(std::move(refreshLoginDisplay)) {
  setObjectName(QStringLiteral("userLogonDlg"));
  setWindowTitle(QStringLiteral("用户登录"));
  setAccessibleName(QStringLiteral("用户登录"));
  setFont(QFont(QStringLiteral("MS Shell Dlg"), 8));
  const DialogUnits du = DialogUnits::ForDialogFont(QStringLiteral("MS Shell Dlg"), 8);
  setFixedSize(du.Size(kWidthDu, kHeightDu));
  m_title = QImage(SkinImagePath(QString::fromUtf8(kTitleImage)));
  BuildControls(du);
  FillStoredCredentials();
}

void CUserLogonDlg::BuildControls(const DialogUnits& du) {
  m_nameLabel = new QLabel(QStringLiteral("用户名"), this);
  m_nameLabel->setGeometry(du.Rect(8, 48, 25, 8));
  m_passwordLabel = new QLabel(QStringLiteral("密码"), this);
  m_passwordLabel->setGeometry(du.Rect(8, 70, 17, 8));

  // The user name: an editable box whose list stays empty.
  m_name = new CNamedComboBox(this);
  m_name->setObjectName(QStringLiteral("userName"));
  m_name->setEditable(true);
  m_name->setInsertPolicy(QComboBox::NoInsert);
  m_name->setGeometry(du.Rect(76, 47, 101, 13));
  m_name->setAccessibleName(QStringLiteral("用户名"));
  m_name->lineEdit()->setAccessibleName(m_name->accessibleName());  // where the typing goes
  m_nameLabel->setBuddy(m_name);

  m_password = new QLineEdit(this);
  m_password->setObjectName(QStringLiteral("password"));
  m_password->setEchoMode(QLineEdit::Password);
  m_password->setGeometry(du.Rect(76, 68, 101, 12));
  m_password->setAccessibleName(QStringLiteral("密码"));
  m_passwordLabel->setBuddy(m_password);

  m_registerLink = new CClickText(QStringLiteral("注册账户"), this);
  m_registerLink->setObjectName(QStringLiteral("registerLink"));
  m_registerLink->setGeometry(du.Rect(184, 48, 48, 11));
  m_recoverLink = new CClickText(QStringLiteral("找回密码"), this);
  m_recoverLink->setObjectName(QStringLiteral("recoverLink"));
  m_recoverLink->setGeometry(du.Rect(184, 70, 48, 11));
  for (CClickText* link : {m_registerLink, m_recoverLink}) {
    link->SetNotify(true);
    link->SetLinkStyle(true);
    link->setAccessibleName(link->text());
    link->setAccessibleDescription(QStringLiteral("在浏览器中打开网页"));
  }
  connect(m_registerLink, &CClickText::clicked, this,
          [this] { OpenWebPage(server_paths::kRegisterPage); });
  connect(m_recoverLink, &CClickText::clicked, this,
          [this] { OpenWebPage(server_paths::kGetBackPasswordPage); });

  m_remember = new QCheckBox(QStringLiteral("记住密码"), this);
  m_remember->setObjectName(QStringLiteral("rememberPassword"));
  m_remember->setGeometry(du.Rect(7, 98, 48, 10));
  m_remember->setAccessibleName(QStringLiteral("记住密码"));

  m_loginButton = new QPushButton(QStringLiteral("登录"), this);
  m_loginButton->setObjectName(QStringLiteral("login"));
  m_loginButton->setGeometry(du.Rect(127, 97, 50, 14));
  m_loginButton->setDefault(true);
  m_loginButton->setAccessibleName(QStringLiteral("登录"));
  m_loginButton->setStyleSheet(QStringLiteral(
      "QPushButton { background: rgb(19,121,187); color: white; border: none; border-radius: 4px;"
      "  font-weight: bold; }"
      "QPushButton:hover { background: rgb(22,122,235); }"
      "QPushButton:pressed { background: rgb(15,97,150); }"
      "QPushButton:focus { border: 1px solid rgb(12,78,124); }"));
  connect(m_loginButton, &QPushButton::clicked, this, &CUserLogonDlg::OnLogin);

  // The cancel button becomes the skinned close button, without its text.
  m_closeButton = new CSkinBtn(this);
  m_closeButton->setObjectName(QStringLiteral("close"));
  m_closeButton->SetImages(QStringLiteral("image\\关闭.bmp"), QStringLiteral("image\\关闭_1.bmp"),
                           QStringLiteral("image\\关闭_2.bmp"), QStringLiteral("image\\关闭.bmp"));
  m_closeButton->setText(QString());
  m_closeButton->setGeometry(CloseButtonRect());
  m_closeButton->setFocusPolicy(Qt::NoFocus);
  m_closeButton->setAutoDefault(false);
  m_closeButton->setAccessibleName(QStringLiteral("关闭"));
  connect(m_closeButton, &QPushButton::clicked, this, &QDialog::reject);

  // Tab order as in the template: name, password, links, remember box, login.
  setTabOrder(m_name, m_password);
  setTabOrder(m_password, m_registerLink);
  setTabOrder(m_registerLink, m_recoverLink);
  setTabOrder(m_recoverLink, m_remember);
  setTabOrder(m_remember, m_loginButton);
  m_name->setFocus();
}

void CUserLogonDlg::FillStoredCredentials() {
  const StoredCredentials stored = CCredentialStore::Read();
  if (!stored.usable) return;
  m_name->setEditText(Utf8(stored.userName));
  if (stored.rememberPassword == 1) {
    m_password->setText(Utf8(stored.password));
    m_remember->setChecked(true);
  }
}

void CUserLogonDlg::OnLogin() {
  // One exchange at a time: the login button waits for the answer.
  if (m_loginCall.Pending()) return;
  const std::string name = m_name->currentText().toStdString();
  const std::string password = m_password->text().toStdString();
  const bool remember = m_remember->isChecked();
  m_loginButton->setEnabled(false);
  // The exchange runs on a worker without touching the session; its outcome is written into
  // the session here, on the GUI thread, which reads it meanwhile.
  CLoginService* service = &m_service;
  m_loginCall = shell::RunCoreCall(
      this,
      // `owner` keeps the service alive while the exchange runs.
      [service, owner = m_serviceOwner, name, password, remember](AbortFlag& abort) {
        CallResult<LoginResult> out;
        out.value = service->Exchange(name, password, remember, abort);
        out.result = out.value.result;
        return out;
      },
      [this](CallResult<LoginResult> done) { OnLoginAnswer(done.value); });
}

void CUserLogonDlg::OnLoginAnswer(const LoginResult& result) {
  m_loginButton->setEnabled(true);
  m_service.Apply(result);
  if (result.success) {
    done(QDialog::Accepted);
    if (m_refresh) m_refresh();
    return;
  }
  if (m_refresh) m_refresh();
  const QString text =
      result.errorInfo.empty() ? QString::fromUtf8(kLoginFailed) : Utf8(result.errorInfo);
  ShowDialogMessage(this, text, /*blankCaption=*/true);
}

void CUserLogonDlg::OpenWebPage(const char* path) { OpenUrl(ServerUrl(ServerKind::Web, path)); }

void CUserLogonDlg::paintEvent(QPaintEvent*) {
  // Drawn off-screen first (the widget is double-buffered): the outlined background, then
  // the title bitmap tiled at its own size across the band at the top.
  QPainter p(this);
  p.setPen(kBorderColor);
  p.setBrush(kBackgroundColor);
  p.drawRect(rect().adjusted(0, 0, -1, -1));
  if (!m_title.isNull()) {
    p.drawTiledPixmap(QRect(0, 0, width(), kTitleBandHeight), QPixmap::fromImage(m_title));
  }
}
