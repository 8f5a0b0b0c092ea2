#include "client/ui/dialogs/CSystemDiagnoseDlg.h"

#include <QFrame>
#include <QLabel>
#include <QPainter>
#include <QProgressBar>
#include <QTimer>

#include <atomic>
#include <functional>

#include "client/diagnosis/CDiagnosisChecks.h"
#include "client/requests/ReportCtrls.h"
#include "client/ui/dialogs/DialogWidgets.h"
#include "client/ui/shell/CoreCall.h"
#include "client/update/UpdateCheck.h"
#include "controls/CSkinBtn.h"
#include "controls/SkinImages.h"

namespace {

// The page's images by run state and the row icons by row outcome.
const std::array<const char*, 3> kStatePictures = {"image\\SystemDiagnose\\screen.png",
                                                   "image\\SystemDiagnose\\scanning.png",
                                                   "image\\SystemDiagnose\\detectOver.png"};
const std::array<const char*, 3> kButtonImages = {"image\\SystemDiagnose\\开始扫描1.png",
                                                  "image\\SystemDiagnose\\停止1.png",
                                                  "image\\SystemDiagnose\\开始扫描.png"};
const std::array<const char*, 4> kRowIcons = {
    "image\\SystemDiagnose\\current.png", "image\\SystemDiagnose\\检测通过.png",
    "image\\SystemDiagnose\\检测异常.png", "image\\SystemDiagnose\\检测未通过.png"};
// What a screen reader says for a row outcome and for the button by run state.
const std::array<const char*, 4> kRowOutcomeNames = {"未检测", "检测通过", "检测异常",
                                                     "检测未通过"};
const std::array<const char*, 3> kButtonNames = {"开始扫描", "停止", "开始扫描"};

const std::array<const char*, 3> kStatusTexts = {"请点击开始扫描", "正在进行检测，请稍候...",
                                                 "检测完成！"};
const char* const kSubmitText = "点击提交";
const char* const kSubmitted = "提交成功！";
const char* const kSubmitFailed = "提交失败！";

constexpr int kBackgroundResource = 167;

// Template 140 in dialog units (font "System" 10).
constexpr int kRowIconX = 34, kRowFirstY = 47, kRowPitch = 20, kRowIconSize = 14;
constexpr int kRowNameX = 56, kRowNameW = 181, kRowResultX = 260, kRowResultW = 33;

// Template 140 names the Windows "System" font, whose dialog base units are 8 × 16 pixels
// on every Windows. They are used as they are, not measured from the font standing in for
// it: the taller stand-in would push the last rows out of the 846 × 435 page.
struct TemplateUnits {
  static int X(int units) { return units * 8 / 4; }
  static int Y(int units) { return units * 16 / 8; }
  static QPoint Point(int x, int y) { return QPoint(X(x), Y(y)); }
  static QSize Size(int w, int h) { return QSize(X(w), Y(h)); }
  static QRect Rect(int x, int y, int w, int h) { return QRect(Point(x, y), Size(w, h)); }
};

const QColor kStatusColor(12, 78, 124);
const QColor kFrameColor(150, 170, 185);

QString Utf8(const std::string& text) { return QString::fromStdString(text); }
QString Name(const char* utf8) { return QString::fromUtf8(utf8); }

}  // namespace

CSystemDiagnoseDlg::CSystemDiagnoseDlg(QWidget* parent) : QWidget(parent) {
  setObjectName(QStringLiteral("systemDiagnoseDlg"));
  setAccessibleName(QStringLiteral("系统诊断"));
  resize(846, 435);
  m_background = ResourceImage(kBackgroundResource);
  BuildControls();
  SetRunState(kIdle);
}

// A run in progress is bound to the page: the page's end raises its abort flag, the checks
// in flight end within a fraction of a second, and nothing of the run reaches the page.
CSystemDiagnoseDlg::~CSystemDiagnoseDlg() = default;

void CSystemDiagnoseDlg::BuildControls() {
  const TemplateUnits du;
  QFont textFont(QStringLiteral("宋体"));
  textFont.setPixelSize(13);
  setFont(textFont);

  m_statePicture = new CPngPicture(this);
  m_statePicture->setObjectName(QStringLiteral("statePicture"));
  m_statePicture->setGeometry(du.Rect(24, 7, 27, 25));
  m_statePicture->setAccessibleName(QStringLiteral("检测状态"));

  m_status = new QLabel(this);
  m_status->setObjectName(QStringLiteral("status"));
  m_status->setGeometry(du.Rect(59, 7, 140, 9));
  QPalette statusPalette = m_status->palette();
  statusPalette.setColor(QPalette::WindowText, kStatusColor);
  m_status->setPalette(statusPalette);

  m_progress = new QProgressBar(this);
  m_progress->setObjectName(QStringLiteral("progress"));
  m_progress->setGeometry(du.Rect(59, 19, 242, 13));
  m_progress->setRange(0, 100);
  m_progress->setValue(0);
  m_progress->setTextVisible(false);
  m_progress->setAccessibleName(QStringLiteral("检测进度"));
  m_progress->setStyleSheet(
      QStringLiteral("QProgressBar { background: rgb(255,255,255); border: none; }"
                     "QProgressBar::chunk { background: rgb(19,121,187); }"));

  m_startStop = new CSkinBtn(this);
  m_startStop->setObjectName(QStringLiteral("startStop"));
  m_startStop->move(du.Point(313, 13));
  m_startStop->setFocusPolicy(Qt::StrongFocus);
  connect(m_startStop, &QPushButton::clicked, this, &CSystemDiagnoseDlg::OnStartStop);

  m_frame = new QFrame(this);
  m_frame->setObjectName(QStringLiteral("rowsFrame"));
  m_frame->setGeometry(du.Rect(25, 38, 276, 176));
  m_frame->setStyleSheet(
      QStringLiteral("QFrame#rowsFrame { border: 1px solid rgb(150,170,185); "
                     "background: transparent; }"));
  m_frame->setAccessibleName(QStringLiteral("检测项目"));
  m_frame->lower();

  for (int i = 0; i < kRowCount; ++i) {
    const int y = kRowFirstY + kRowPitch * i;
    const QString n = QString::number(i + 1);
    Row& row = m_rows[i];
    row.icon = new CPngPicture(this);
    row.icon->setObjectName(QStringLiteral("rowIcon") + n);
    row.icon->setGeometry(du.Rect(kRowIconX, y, kRowIconSize, kRowIconSize));
    row.name = new CClickText(QString(), this);
    row.name->setObjectName(QStringLiteral("rowName") + n);
    row.name->setGeometry(du.Rect(kRowNameX, y, kRowNameW, kRowIconSize));
    row.result = new CClickText(QString(), this);
    row.result->setObjectName(QStringLiteral("rowResult") + n);
    row.result->setGeometry(du.Rect(kRowResultX, y, kRowResultW, kRowIconSize));
    for (QLabel* text : {static_cast<QLabel*>(row.name), static_cast<QLabel*>(row.result)}) {
      text->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    }
  }
  CClickText* submit = m_rows[kSubmitRow].result;
  submit->SetNotify(true);
  connect(submit, &CClickText::clicked, this, &CSystemDiagnoseDlg::OnSubmit);
}

void CSystemDiagnoseDlg::SetRunState(int state) {
  if (state < kIdle || state > kFinished) return;
  if (state != kFinished) {
    // The idle page and a new run show the check names and an empty bar.
    SetProgress(0);
    for (int i = 0; i < kRowCount; ++i) {
      ShowRow(i, DiagnosisRow{DiagnosisCheckName(i + 1), std::string(), kRowNotChecked});
    }
  }
  m_status->setText(Name(kStatusTexts[state]));
  m_status->setAccessibleName(m_status->text());
  m_runState = state;
  m_statePicture->SetImage(Name(kStatePictures[state]));
  const QString button = Name(kButtonImages[state]);
  m_startStop->SetImages(button, button, button, button);
  m_startStop->setAccessibleName(Name(kButtonNames[state]));
  m_startStop->update();
}

void CSystemDiagnoseDlg::ShowRow(int index, const DiagnosisRow& row) {
  if (index < 0 || index >= kRowCount) return;
  const int outcome = row.rowOutcome >= 0 && row.rowOutcome < 4 ? row.rowOutcome : 0;
  Row& r = m_rows[index];
  const QString label = Utf8(row.label);
  const QString result = Utf8(row.resultText);
  r.icon->SetImage(Name(kRowIcons[outcome]));
  r.icon->setAccessibleName(label);
  r.icon->setAccessibleDescription(Name(kRowOutcomeNames[outcome]));
  r.name->setText(label);
  r.name->setAccessibleName(label);
  r.name->setAccessibleDescription(result);
  r.result->setText(result);
  if (index == kSubmitRow) r.result->SetLinkStyle(result == Name(kSubmitText));
  r.result->setAccessibleName(label + QStringLiteral("：") +
                              (result.isEmpty() ? Name(kRowOutcomeNames[0]) : result));
}

void CSystemDiagnoseDlg::SetProgress(int percent) {
  m_progress->setValue(percent);
  m_progress->setAccessibleDescription(QString::number(percent) + QLatin1Char('%'));
}

void CSystemDiagnoseDlg::OnStartStop() {
  if (m_runState == kRunning) {
    // A stop request: the checks in progress finish, then the page resets.
    if (m_stopRequested) *m_stopRequested = true;
    return;
  }
  m_stopRequested = std::make_shared<std::atomic<bool>>(false);
  SetRunState(kRunning);
  m_run = shell::RunCoreCallWithProgress(
      this,
      [this, stop = m_stopRequested](AbortFlag& abort, const shell::CallProgress& progress) {
        return RunChecks(abort, *stop, progress, this);
      },
      [this](CallResult<bool> done) { OnChecksEnded(done.value); });
}

CallResult<bool> CSystemDiagnoseDlg::RunChecks(AbortFlag& abort,
                                               const std::atomic<bool>& stopRequested,
                                               const shell::CallProgress& progress,
                                               CSystemDiagnoseDlg* page) {
  // `page` is only used by the changes posted for the GUI thread, which reach it only
  // while it exists.
  // One flag ends the probes, the fetches and the update check.
  CDiagnosisChecks checks([&abort] { return CheckForUpdateDetailed({}, &abort).code; },
                          CDiagnosisChecks::PrinterSource());
  checks.UseAbortFlag(abort);
  for (int check = 1; check <= CDiagnosisChecks::kCheckCount && !abort; ++check) {
    const int outcome = checks.Run(check);
    if (abort) break;
    const DiagnosisRow row = DiagnosisRowFor(check, outcome);
    if (check == 6) {
      const SoftwareSlots found = checks.Slots();
      progress.Post([page, found] { page->m_slots = found; });
    }
    progress.Post([page, check, row] { page->ShowRow(check - 1, row); });
    if (check < CDiagnosisChecks::kCheckCount) {
      const int percent = kProgressSteps[check - 1];
      progress.Post([page, percent] { page->SetProgress(percent); });
    }
  }
  return {RequestResult::Success(), stopRequested.load()};
}

void CSystemDiagnoseDlg::OnChecksEnded(bool stopRequested) {
  // The page stays running through the pause (a stop can still be asked for), timed from
  // here so that 100 never shows sooner after the last step than the pause, however late
  // the steps reach the page.
  QTimer::singleShot(kFinalPauseMs, this, [this, stopRequested] {
    SetProgress(100);
    SetRunState(stopRequested || (m_stopRequested && *m_stopRequested) ? kIdle : kFinished);
  });
}

void CSystemDiagnoseDlg::OnSubmit() {
  if (m_rows[kSubmitRow].result->text() != Name(kSubmitText)) return;
  // One report at a time: a second click while it is unanswered does nothing.
  if (m_submitCall.Pending()) return;
  const SoftwareSlots products = m_slots;
  m_submitCall = shell::RunCoreCall(
      this,
      [products](AbortFlag& abort) {
        COtherSoftwareInfoCtrl report(products);
        report.UseAbortFlag(abort);
        CallResult<bool> out;
        out.result = report.Send();
        out.value = report.success;
        return out;
      },
      [this](CallResult<bool> done) {
        // "提交成功！" only when the platform answered that it took the report.
        const bool ok = done.result.Ok() && done.value;
        ShowDialogMessage(this, Name(ok ? kSubmitted : kSubmitFailed));
      });
}

void CSystemDiagnoseDlg::paintEvent(QPaintEvent*) {
  QPainter p(this);
  if (m_background.isNull()) {
    p.fillRect(rect(), QColor(236, 241, 244));
  } else {
    p.drawImage(QPoint(0, 0), m_background);
  }
}
