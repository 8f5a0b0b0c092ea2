#include "client/ui/dialogs/CSystemDiagnoseDlg.h"

CSystemDiagnoseDlg::CSystemDiagnoseDlg(QWidget* parent) : QWidget(parent) {}
