#pragma once
// The about box of the updater: "关于 Orvlift", "Orvlift 1.0 版", "确定".
#include <QDialog>

class CAboutDlg : public QDialog {
 public:
  explicit CAboutDlg(QWidget* parent = nullptr);
};
