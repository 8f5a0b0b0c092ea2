#include "client/ui/views/CMyAppDlg.h"

CMyAppDlg::CMyAppDlg(IKivoHost& host, QWidget* parent) : QWidget(parent), m_host(host) {}
void CMyAppDlg::RebuildButtons() {}
void CMyAppDlg::RefreshIcon(const std::string&) {}
