#include "updater/COrvliftDlg.h"

#include <QAction>
#include <QFont>
#include <QFrame>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTextCursor>
#include <QTimer>

#include <string_view>
#include <utility>

#include "controls/DialogUnits.h"
#include "platform/Console.h"
#include "platform/Shell.h"
#include "updater/CAboutDlg.h"
#include "updater/CProgressCtrlX.h"
#include "updater/InstallationLookup.h"
#include "updater/OrvliftLook.h"

namespace {

// Dialog-unit geometry of the dialog's template (font "宋体" 9 point).
struct Units {
  int baseX = 6;
  int baseY = 12;
  QRect Rect(int x, int y, int w, int h) const {
    return QRect(x * baseX / 4, y * baseY / 8, w * baseX / 4, h * baseY / 8);
  }
};

Units DialogUnitsOf(const QFont& font) {
  Units units;
  DialogUnits du(font);
  units.baseX = du.BaseX();
  units.baseY = du.BaseY();
  return units;
}

// Copies a log line to standard output (its reader may be gone: see Console.h).
void EchoLine(const QByteArray& line) {
  plat::WriteStandardOutput(std::string_view(line.constData(), static_cast<size_t>(line.size())));
}

QString LogLine(const char* text) {
  // The box shows plain line feeds.
  return QString::fromUtf8(text).replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
}

}  // namespace

COrvliftDlg::COrvliftDlg(bool autoClose, QWidget* parent)
    : FCDownloadFileWndBase<QDialog>(parent), m_autoClose(autoClose) {
  SetDownloadWorkerKind(DownloadWorkerKind::Ftp);
  BuildLayout();
}

COrvliftDlg::~COrvliftDlg() { EndDownloads(); }

void COrvliftDlg::BuildLayout() {
  setWindowTitle(QStringLiteral("Orvlift"));
  setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                 Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
  setWindowIcon(OrvliftIcon());
  QFont dialogFont(QStringLiteral("宋体"), 9);
  setFont(dialogFont);
  const Units du = DialogUnitsOf(dialogFont);
  setFixedSize(du.Rect(0, 0, 311, 185).size());

  m_banner = new QLabel(this);
  m_banner->setGeometry(du.Rect(0, 0, 109, 185));
  m_banner->setPixmap(OrvliftBanner(m_banner->size()));

  m_logBox = new QPlainTextEdit(this);
  m_logBox->setGeometry(du.Rect(119, 8, 180, 85));
  m_logBox->setReadOnly(true);
  m_logBox->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  // Lines wrap at the box's width; it has no horizontal scroll bar.
  m_logBox->setLineWrapMode(QPlainTextEdit::WidgetWidth);
  m_logBox->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);

  m_status = new QLabel(this);
  m_status->setGeometry(du.Rect(254, 99, 46, 12));
  m_status->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  m_status->hide();

  m_progress = new CProgressCtrlX(this);
  m_progress->setAccessibleName(QStringLiteral("升级进度"));
  m_progress->setGeometry(du.Rect(119, 116, 181, 20));

  auto* line = new QFrame(this);
  line->setFrameShape(QFrame::HLine);
  line->setFrameShadow(QFrame::Sunken);
  line->setGeometry(du.Rect(119, 149, 181, 1).adjusted(0, 0, 0, 1));

  m_upgradeButton = new QPushButton(QStringLiteral("升级中..."), this);
  m_upgradeButton->setGeometry(du.Rect(174, 158, 55, 22));
  m_upgradeButton->setDefault(true);
  m_upgradeButton->setEnabled(false);  // its command does nothing

  m_cancelButton = new QPushButton(QStringLiteral("取消"), this);
  m_cancelButton->setGeometry(du.Rect(243, 158, 55, 22));
  m_cancelButton->hide();
  connect(m_cancelButton, &QPushButton::clicked, this, &QDialog::reject);

  // The about item: Linux window managers own the system menu, so it sits in the
  // dialog's context menu.
  auto* about = new QAction(QStringLiteral("关于 Orvlift(&A)..."), this);
  connect(about, &QAction::triggered, this, [this] { ShowAbout(); });
  addAction(about);
  setContextMenuPolicy(Qt::ActionsContextMenu);
}

void COrvliftDlg::ShowAbout() {
  CAboutDlg about(this);
  about.exec();
}

bool COrvliftDlg::OnInitDialog() {
  std::optional<std::string> folder = FindUninstallValue(kAppPathValue);
  if (!folder) {
    AppendLog(QString::fromUtf8(orvlift_texts::kRegistryDamaged));
    WaitForUser();
    return false;
  }
  m_cacheFolder = *folder + "/UpdateCache/";
  m_urlBase = ReadInstallerUrlBase(*folder + "/conf.config");

  QFont bold(QStringLiteral("Arial"));
  bold.setWeight(QFont::Bold);
  m_progress->setFont(bold);
  m_progress->SetShowPercent(true);
  m_progress->SetTextFormat(QStringLiteral("%d%%"));
  m_progress->SetRange(0, 100);

  AppendLog(QString::fromUtf8(orvlift_texts::kConnecting));
  // A missing URL base still goes to the engine, which reports the failure as ERROR.
  DownloadFile(m_urlBase + m_installerName, m_cacheFolder + m_installerName, 0);
  return true;
}

void COrvliftDlg::AppendLog(const QString& text) {
  m_logText = m_logBox->toPlainText();
  if (!m_logText.isEmpty() && !m_logText.endsWith(u'\n')) m_logText += u'\n';
  m_logText += text;
  m_logText += u'\n';
  m_logBox->setPlainText(m_logText);
  m_logBox->moveCursor(QTextCursor::End);
  m_logBox->ensureCursorVisible();
  EchoLine(text.toUtf8() + '\n');
}

std::optional<std::string> COrvliftDlg::FindUninstallValue(const std::string& valueName) const {
  return ::FindUninstallValue(valueName);
}

bool COrvliftDlg::RunSilent(const std::string& command) const { return ::RunSilent(command); }

void COrvliftDlg::WaitForUser() {
  if (m_autoClose) QTimer::singleShot(0, this, [this] { reject(); });
}

void COrvliftDlg::OnCheckTime(std::string, std::string) {}

void COrvliftDlg::OnStartDownload(std::string) {
  AppendLog(QString::fromUtf8(orvlift_texts::kDownloadStarted));
}

void COrvliftDlg::OnDownProgress(std::string, int64_t done, int64_t total) {
  m_progress->SetPos(CProgressCtrlX::PercentOf(done, total));
}

void COrvliftDlg::OnDownError(std::string) {
  AppendLog(LogLine(orvlift_texts::kDownloadError));
  WaitForUser();
}

void COrvliftDlg::OnDownFinished(std::string url, const char*, int64_t size) {
  // An empty installer is no update: the old release must not be removed for it.
  if (size <= 0) {
    OnDownError(std::move(url));
    return;
  }
  AppendLog(QString::fromUtf8(orvlift_texts::kDownloadFinished));
  m_cancelButton->setEnabled(false);
  std::optional<std::string> uninstaller = FindUninstallValue(kUninstallStringValue);
  if (!uninstaller) {
    WaitForUser();
    return;
  }
  // The window does not respond while the old release is removed.
  if (RunSilent(*uninstaller)) AppendLog(QString::fromUtf8(orvlift_texts::kUninstalled));

  if (plat::ShellOpen(m_cacheFolder + m_installerName)) {
    m_installerStarted = true;
    done(QDialog::Accepted);
    return;
  }
  AppendLog(QString::fromUtf8(orvlift_texts::kInstallFailed));
  m_cancelButton->setEnabled(true);
  WaitForUser();
}
