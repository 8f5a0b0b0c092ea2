#pragma once
// The diagnosis page. (Contract stub: the dialogs work fills it in.)
#include <QWidget>

class CSystemDiagnoseDlg : public QWidget {
  Q_OBJECT
 public:
  explicit CSystemDiagnoseDlg(QWidget* parent = nullptr);
};
