#pragma once
// The OA server's exchanges of the service desk: the service catalogue, the enterprise
// lookup by taxpayer number and the work-order submission.
#include <string>
#include <vector>

#include "client/requests/COrvAppCtrl.h"

class CQueryCustomerServiceCtrl : public COrvAppCtrl {
 public:
  static constexpr const char* kFolder = "\\CustomerService\\";
  struct Service {
    int id = 0;
    std::string cpmc;  // product (service) name
  };

  void Parse() override;
  int GetKind() const override { return 0; }
  void OnBeforeParse() override {}

  static std::string DefaultUrl();
  RequestResult RunDefault() { return Run(DefaultUrl(), kFolder); }

  bool infoFlag = false;
  std::string infoText;
  std::vector<Service> services;
};

class CQueryEnterpriseInfoCtrl : public COrvAppCtrl {
 public:
  static constexpr const char* kFolder = "\\EnterpriseInfo\\";

  void Parse() override;
  int GetKind() const override { return 0; }

  static std::string UrlFor(const std::string& taxpayerId);
  RequestResult RunFor(const std::string& taxpayerId) { return Run(UrlFor(taxpayerId), kFolder); }

  std::string lxrmc;   // contact person
  std::string nsrmc;   // taxpayer name
  std::string nsrsbh;  // taxpayer identification number
  std::string lxrdh;   // contact telephone
  std::string lxrdz;   // contact address
  std::string infoText;
  bool infoFlag = false;
};

struct WorkOrderForm {
  std::string nsrsbh, nsrmc, lxrmc, lxrdh, lxrdz, bz;
};

class CQueryWorkOrderCtrl : public COrvAppCtrl {
 public:
  static constexpr const char* kFolder = "\\WorkOrder\\";

  void Parse() override;
  int GetKind() const override { return 0; }

  // The six form fields go out as percent-encoded GBK.
  static std::string UrlFor(const WorkOrderForm& form);
  RequestResult RunFor(const WorkOrderForm& form) { return Run(UrlFor(form), kFolder); }

  std::string infoText;
  bool infoFlag = false;
};
