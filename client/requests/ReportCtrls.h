#pragma once
// The two reports that build their own URL and send themselves when constructed: the
// application-use log and the other finance software found by the diagnosis. Bodies are
// JSON members in a fixed order; an empty value goes out as null.
#include <array>
#include <string>

#include "client/requests/COrvAppCtrl.h"

class COrvAppLogCtrl final : public COrvAppCtrl {
 public:
  static constexpr const char* kFolder = "\\AppLog\\";

  // Sends the report at once; the answer is not examined.
  COrvAppLogCtrl(const OrvAppInfo& app, int appwz, int appclienttype);

  void Parse() override {}
  int GetKind() const override { return 2; }

  // The body members ("userName":...,"version":...) for the current session and machine.
  static std::string Body(const OrvAppInfo& app, int appwz, int appclienttype);
  static std::string UrlFor(const std::string& body);
};

class COtherSoftwareInfoCtrl final : public COrvAppCtrl {
 public:
  static constexpr const char* kFolder = "\\AppLog\\";
  static constexpr std::array<const char*, 8> kProductNames = {
      "ufidaU8",    "ufidaT6",     "ufidaT3",      "kingdeePro",
      "kingdeeStd", "kingdeeMini", "graspFinance", "graspPersonal"};

  // The eight product values in the order of kProductNames; sends the report at once.
  explicit COtherSoftwareInfoCtrl(const std::array<std::string, 8>& products);

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
