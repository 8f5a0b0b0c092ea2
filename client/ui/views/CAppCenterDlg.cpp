#include "client/ui/views/CAppCenterDlg.h"

CAppCenterDlg::CAppCenterDlg(IKivoHost& host, QWidget* parent) : QWidget(parent), m_host(host) {}
void CAppCenterDlg::RebuildButtons() {}
void CAppCenterDlg::RefreshIcon(const std::string&) {}
void CAppCenterDlg::ShowProgress(const std::string&, int) {}
void CAppCenterDlg::RefreshStates() {}
