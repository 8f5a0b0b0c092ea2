#pragma once
// The two reports that build their own URL: the application-use log and the other finance
// software found by the diagnosis. Each is made with its values and sent by Send(). Bodies are
// JSON members in a fixed order; an empty value goes out as null.
#include <array>
#include <string>

#include "client/requests/COrvAppCtrl.h"

class COrvAppLogCtrl final : public COrvAppCtrl {
 public:
  static constexpr const char* kFolder = "\\AppLog\\";

  // The report of one use of `app`; nothing is sent yet.
  COrvAppLogCtrl(const OrvAppInfo& app, int appwz, int appclienttype);
  // Sends the report; the answer's content is not examined.
  RequestResult Send() { return Run(UrlFor(m_body), kFolder); }

  void Parse() override {}
  int GetKind() const override { return 2; }

  // The body members ("userName":...,"version":...) for the current session and machine.
  static std::string Body(const OrvAppInfo& app, int appwz, int appclienttype);
  static std::string UrlFor(const std::string& body);

 private:
  std::string m_body;
};

class COtherSoftwareInfoCtrl final : public COrvAppCtrl {
 public:
  static constexpr const char* kFolder = "\\AppLog\\";
  static constexpr std::array<const char*, 8> kProductNames = {
      "ufidaU8",    "ufidaT6",     "ufidaT3",      "kingdeePro",
      "kingdeeStd", "kingdeeMini", "graspFinance", "graspPersonal"};

  // The eight product values in the order of kProductNames, with the user, address and
  // MAC of this machine; nothing is sent yet.
  explicit COtherSoftwareInfoCtrl(const std::array<std::string, 8>& products);
  // Sends the report; `success` tells whether the platform took it.
  RequestResult Send() { return Run(UrlFor(Body()), kFolder); }

  void Parse() override;
  int GetKind() const override { return 2; }

  std::string Body() const;
  static std::string UrlFor(const std::string& body);

  std::string userName;
  std::string ip;
  std::string mac;
  std::string ufidaU8, ufidaT6, ufidaT3, kingdeePro, kingdeeStd, kingdeeMini, graspFinance,
      graspPersonal;
  bool success = false;
};
