#pragma once
// The five catalogue list controllers. Each parses a list answer into `apps` and the count
// fields; DefaultUrl/DefaultFolder give the request of the current session.
#include <string>

#include "client/requests/COrvAppCtrl.h"

struct UserSession;

// Shared parse of the list answers.
class COrvAppListCtrl : public COrvAppCtrl {
 public:
  void Parse() override;

  // Run with DefaultUrl() and DefaultFolder() of the current session.
  RequestResult RunDefault();
  virtual std::string DefaultUrl() const = 0;
  virtual std::string DefaultFolder() const = 0;

  int page = 0;
  int count = 0;
  int tpage = 0;
  int tcount = 0;

 protected:
  enum class DetailRule { FirstFilled, MergeSecondOverFirst };
  COrvAppListCtrl(DetailRule rule, bool hotList, const char* errorText);

 private:
  bool ReadStreamed(std::string_view text) override;
  void ReadCounts(const Json::Value& head);
  OrvAppInfo ReadItem(const Json::Value& item) const;
  void ReadDetails(const Json::Value& detail, OrvAppInfo& app) const;

  DetailRule m_rule;
  bool m_hotList;
  const char* m_errorText;
};

// "/services/myappall_c.php?in={"page":1,"ckey":KEY}" of the given cookie key.
std::string PrivateAppListUrl(const char* path, const std::string& cookieKey);

class CPrivateDesktopAppCtrl : public COrvAppListCtrl {
 public:
  CPrivateDesktopAppCtrl();
  int GetKind() const override { return 2; }
  std::string DefaultUrl() const override;
  std::string DefaultFolder() const override;
  static std::string FolderOf(const UserSession& session);

  OrvPrivateAppInfoSet appInfoSet;
};

class CPrivateWebAppCtrl : public COrvAppListCtrl {
 public:
  CPrivateWebAppCtrl();
  int GetKind() const override { return 2; }
  std::string DefaultUrl() const override;
  std::string DefaultFolder() const override;
  static std::string FolderOf(const UserSession& session);

  OrvPrivateAppInfoSet appInfoSet;
};

// Hot list: only `tcount` of the count fields is read.
class CHotAppCtrl : public COrvAppListCtrl {
 public:
  CHotAppCtrl();
  int GetKind() const override { return 1; }
  std::string DefaultUrl() const override;
  std::string DefaultFolder() const override { return "\\HotApp\\"; }

  OrvHotAppInfoSet appInfoSet;
};

class CAllClientAppCtrl : public COrvAppListCtrl {
 public:
  CAllClientAppCtrl();
  int GetKind() const override { return 2; }
  std::string DefaultUrl() const override;
  std::string DefaultFolder() const override { return "\\AllClientApp\\"; }

  OrvAllAppInfoSet appInfoSet;
};

class CAllWebAppCtrl : public COrvAppListCtrl {
 public:
  CAllWebAppCtrl();
  int GetKind() const override { return 2; }
  std::string DefaultUrl() const override;
  std::string DefaultFolder() const override { return "\\AllApp\\"; }

  OrvAllAppInfoSet appInfoSet;
};
