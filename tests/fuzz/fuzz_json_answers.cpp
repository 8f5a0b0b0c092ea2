// The JSON answers of the platform: every request controller's reading of one answer text.
// (The software report is left out: its constructor sends the report, and its reading is
// one string comparison.)
#include <exception>
#include <memory>
#include <vector>

#include "FuzzSupport.h"
#include "client/requests/AppListCtrls.h"
#include "client/requests/CGetPushMsgServerInfoCtrl.h"
#include "client/requests/CQueryAdvertisementCtrl.h"
#include "client/requests/RequestText.h"
#include "client/requests/ServiceDeskCtrls.h"
#include "client/requests/SubscriptionCtrls.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  orvfuzz::ScratchDir();
  std::vector<std::unique_ptr<COrvAppCtrl>> ctrls;
  ctrls.push_back(std::make_unique<CHotAppCtrl>());
  ctrls.push_back(std::make_unique<CAllWebAppCtrl>());
  ctrls.push_back(std::make_unique<CAllClientAppCtrl>());
  ctrls.push_back(std::make_unique<CPrivateWebAppCtrl>());
  ctrls.push_back(std::make_unique<CPrivateDesktopAppCtrl>());
  ctrls.push_back(std::make_unique<CQueryAdvertisementCtrl>());
  ctrls.push_back(std::make_unique<CQueryCustomerServiceCtrl>());
  ctrls.push_back(std::make_unique<CQueryEnterpriseInfoCtrl>());
  ctrls.push_back(std::make_unique<CQueryWorkOrderCtrl>());
  ctrls.push_back(std::make_unique<CGetPushMsgServerInfoCtrl>());
  ctrls.push_back(std::make_unique<CAddOrvAppCtrl>());
  Json::Value root;
  if (!orvreq::ParseJson(orvfuzz::Text(data, size), root, &ctrls.front()->readerFeatures)) return 0;
  for (auto& ctrl : ctrls) {
    ctrl->root = root;
    try {
      ctrl->Parse();
    } catch (const std::exception&) {
      // A value the JSON library refuses to convert: the request reports it unusable.
    }
  }
  return 0;
}
