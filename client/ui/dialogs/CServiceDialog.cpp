#include "client/ui/dialogs/CServiceDialog.h"

CServiceDialog::CServiceDialog(QWidget* parent) : QWidget(parent) {}
void CServiceDialog::ReplaceServiceTypes(const std::vector<CQueryCustomerServiceCtrl::Service>&) {}
