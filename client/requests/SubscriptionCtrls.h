#pragma once
// Subscribing to an application ("add") and cancelling a subscription ("delete"). The
// answer's "status" becomes a fixed status text; an unknown status leaves it unchanged.
#include <string>

#include "client/requests/COrvAppCtrl.h"

class CSubscriptionCtrl : public COrvAppCtrl {
 public:
  void Parse() override;
  int GetKind() const override { return 2; }

  // The answer's status: confirmed ("1"), already so ("2"), refused ("-1"), or none known.
  enum class Status { None, Confirmed, Already, Refused };
  Status status = Status::None;
  std::string statusText;  // its fixed text; "" until a known status arrives

 protected:
  CSubscriptionCtrl(const char* confirmed, const char* already, const char* refused);

 private:
  const char* m_texts[3];
};

class CAddOrvAppCtrl : public CSubscriptionCtrl {
 public:
  static constexpr const char* kSuccessText = "安装验证成功";
  static constexpr const char* kFolder = "\\AddApp\\";

  CAddOrvAppCtrl();
  // The add request of an application for a cookie key.
  static std::string UrlFor(int appid, const std::string& cookieKey);
  // Run for the application with the current session's cookie key.
  RequestResult RunFor(int appid);
};

class CDeleteOrvAppCtrl : public CSubscriptionCtrl {
 public:
  static constexpr const char* kSuccessText = "删除成功";
  static constexpr const char* kFolder = "\\DeleteApp\\";

  CDeleteOrvAppCtrl();
  static std::string UrlFor(int appid, const std::string& cookieKey);
  RequestResult RunFor(int appid);
};
