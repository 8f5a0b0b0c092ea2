#pragma once
// The portal's banner list: one record per banner in `apps` (downloaded anew on every run),
// the banners' numbers in answer order, and the link of each image file.
#include <map>
#include <string>
#include <vector>

#include "client/requests/COrvAppCtrl.h"

class CQueryAdvertisementCtrl : public COrvAppCtrl {
 public:
  static constexpr const char* kFolder = "\\Advertisement\\";

  void Parse() override;
  int GetKind() const override { return 0; }
  void OnBeforeParse() override {}

  static std::string DefaultUrl();
  RequestResult RunDefault() { return Run(DefaultUrl(), kFolder); }

  std::vector<int> advOrder;
  std::map<std::string, std::string> advLinks;  // image file name ("3.png") -> link
};
