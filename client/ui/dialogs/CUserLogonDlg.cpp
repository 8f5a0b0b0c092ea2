#include "client/ui/dialogs/CUserLogonDlg.h"

CUserLogonDlg::CUserLogonDlg(CLoginService& service, std::function<void()> refreshLoginDisplay,
                             QWidget* parent)
    : QDialog(parent), m_service(service), m_refresh(std::move(refreshLoginDisplay)) {}
