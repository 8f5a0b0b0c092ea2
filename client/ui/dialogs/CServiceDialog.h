#pragma once
// The service-desk page. (Contract stub: the dialogs work fills it in.)
#include <QWidget>

#include <vector>

#include "client/requests/ServiceDeskCtrls.h"

class CServiceDialog : public QWidget {
  Q_OBJECT
 public:
  explicit CServiceDialog(QWidget* parent = nullptr);

  // Message 2027: the customer-service answer replaces the service types.
  void ReplaceServiceTypes(const std::vector<CQueryCustomerServiceCtrl::Service>& services);
};
