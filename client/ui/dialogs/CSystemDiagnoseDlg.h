#pragma once
// The workstation-diagnosis page: eight rows, one per check, a progress bar, a status line,
// a state picture and a start/stop button. A run executes the checks as one core call on a
// shell worker that never touches a widget: every row, text, picture and progress change
// comes back to the GUI thread as a posted change bound to the page's lifetime. After a run the row
// of the other-finance-software check offers "点击提交", which sends the software found to the
// platform.
#include <QImage>
#include <QWidget>

#include <array>
#include <atomic>
#include <memory>
#include <string>

#include "client/diagnosis/DiagnosisRow.h"
#include "client/diagnosis/DiagnosisRules.h"
#include "client/ui/shell/CoreCall.h"
#include "client/ui/shell/IKivoPage.h"

class CClickText;
class CPngPicture;
class CSkinBtn;
class QFrame;
class QLabel;
class QProgressBar;

class CSystemDiagnoseDlg : public QWidget, public IKivoPage {
  Q_OBJECT
 public:
  // IKivoPage: the page shows and hides as it is.
  void Enter() override {
    show();
    update();
  }
  void Leave() override { hide(); }
  enum RunState { kIdle = 0, kRunning = 1, kFinished = 2 };
  static constexpr int kRowCount = 8;
  // The row whose result submits the software report (row 6, index 5).
  static constexpr int kSubmitRow = 5;
  // Progress after checks 1 to 7; 100 follows a pause after check 8.
  static constexpr std::array<int, 7> kProgressSteps = {10, 20, 40, 60, 70, 80, 90};
  static constexpr int kFinalPauseMs = 500;

  explicit CSystemDiagnoseDlg(QWidget* parent = nullptr);
  // A run still in progress is aborted; checks blocked on the network end within a fraction
  // of a second and nothing of the run reaches the destroyed page. Never waits.
  ~CSystemDiagnoseDlg() override;

  int CurrentRunState() const { return m_runState; }

  // Start/stop button: starts a run when idle or finished, asks a running one to stop (the
  // checks in progress finish, then the page resets). The page leaves the running state
  // only after the run's result arrived.
  void OnStartStop();

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  struct Row {
    CPngPicture* icon = nullptr;
    CClickText* name = nullptr;
    CClickText* result = nullptr;
  };

  void BuildControls();
  // Status text, state picture and button of `state`; idle and running also put the rows
  // back to the check names and the bar to 0.
  void SetRunState(int state);
  void ShowRow(int index, const DiagnosisRow& row);
  void SetProgress(int percent);
  // The run's result: shows 100 and the run's end after the pause.
  void OnChecksEnded(bool stopRequested);
  void OnSubmit();
  // The run (worker thread): the eight checks, each change posted for the page.
  static CallResult<bool> RunChecks(AbortFlag& abort, const std::atomic<bool>& stopRequested,
                                    const shell::CallProgress& progress, CSystemDiagnoseDlg* page);

  int m_runState = kIdle;
  SoftwareSlots m_slots;
  QImage m_background;

  CPngPicture* m_statePicture = nullptr;
  QProgressBar* m_progress = nullptr;
  QLabel* m_status = nullptr;
  CSkinBtn* m_startStop = nullptr;
  QFrame* m_frame = nullptr;
  std::array<Row, kRowCount> m_rows;

  shell::CallHandle m_run;
  std::shared_ptr<std::atomic<bool>> m_stopRequested;
  shell::CallHandle m_submitCall;
};
