#pragma once
// Asks the message server where its push server listens.
#include <string>

#include "client/requests/COrvAppCtrl.h"

class CGetPushMsgServerInfoCtrl : public COrvAppCtrl {
 public:
  static constexpr const char* kFolder = "\\PushMsg\\";

  void Parse() override;
  int GetKind() const override { return 0; }
  void OnBeforeParse() override {}

  static std::string DefaultUrl();
  // The port of a decimal text (blanks around it allowed): 1 to 65535, else 0 (signs,
  // other characters, out of range).
  static int PortNumber(const std::string& text);
  RequestResult RunDefault() { return Run(DefaultUrl(), kFolder); }

  std::string serverIp;    // dotted IPv4 address; "" when the server gave none
  std::string serverPort;  // decimal port; "" when the server gave none
  bool success = false;
};
