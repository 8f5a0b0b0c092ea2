#pragma once
// The service-desk page: the user picks a service type, fills in the enterprise's details
// (or has them looked up by tax number) and submits a work order to the OA server. Both
// requests run on the shell's workers; the page takes input meanwhile. GUI thread only.
#include <QWidget>

#include <array>
#include <vector>

#include "client/requests/ServiceDeskCtrls.h"
#include "client/ui/shell/CoreCall.h"
#include "client/ui/shell/IKivoPage.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;

class CServiceDialog : public QWidget, public IKivoPage {
  Q_OBJECT
 public:
  // IKivoPage: the page shows and hides as it is.
  void Enter() override {
    show();
    update();
  }
  void Leave() override { hide(); }
  // The eleven built-in service types, in list order.
  static const std::array<const char*, 11> kBuiltInTypes;
  // The type selected after filling the list.
  static constexpr int kDefaultTypeIndex = 1;

  explicit CServiceDialog(QWidget* parent = nullptr);

  // Message 2027: the customer-service answer replaces the service types (the window sends
  // it only when the request was answered).
  void ReplaceServiceTypes(const std::vector<CQueryCustomerServiceCtrl::Service>& services);

  // Button "检查税号": looks the enterprise up by the tax number; the fields fill in when
  // the answer arrives.
  void OnLookup();
  // Button "提交预约": sends the work order when no field is empty; the answer's text shows
  // when it arrives.
  void OnSubmit();
  // True while a lookup or a work order is unanswered.
  bool RequestInFlight() const;
  // Button "重置表单": empties the six fields; the service type stays.
  void OnReset();

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  // The six fields, in request order.
  WorkOrderForm ReadForm() const;

  QComboBox* m_type = nullptr;
  QLineEdit* m_taxNumber = nullptr;
  QLineEdit* m_name = nullptr;
  QLineEdit* m_contact = nullptr;
  QLineEdit* m_phone = nullptr;
  QLineEdit* m_address = nullptr;
  QPlainTextEdit* m_remarks = nullptr;
  QPushButton* m_lookup = nullptr;
  QPushButton* m_submit = nullptr;
  QPushButton* m_reset = nullptr;
  shell::CallHandle m_lookupCall;
  shell::CallHandle m_submitCall;
};
