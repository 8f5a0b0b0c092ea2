// The JSON answers of the platform: every request controller's reading of one answer text.
// (The software report is left out: its constructor sends the report, and its reading is
// one string comparison.) The list controllers read an answer without building its whole
// tree; that reading must equal the reading of the whole tree, or the harness aborts.
#include <cstdlib>
#include <exception>
#include <memory>
#include <tuple>
#include <vector>

#include "FuzzSupport.h"
#include "client/requests/AppListCtrls.h"
#include "client/requests/CGetPushMsgServerInfoCtrl.h"
#include "client/requests/CQueryAdvertisementCtrl.h"
#include "client/requests/RequestText.h"
#include "client/requests/ServiceDeskCtrls.h"
#include "client/requests/SubscriptionCtrls.h"

namespace {

// The same controller reading every answer through the whole tree.
template <class Ctrl>
class WholeTree : public Ctrl {
 protected:
  bool ReadStreamed(std::string_view) override { return false; }
};

auto Fields(const OrvAppInfo& a) {
  return std::tie(a.appid, a.name, a.xh, a.url, a.type, a.remark, a.money, a.isopen, a.img, a.code,
                  a.downurl, a.filesize, a.version, a.iconPath, a.setupPath);
}

template <class Ctrl>
void CompareReadings(std::string_view text) {
  Ctrl streamed;
  WholeTree<Ctrl> whole;
  const RequestResult a = streamed.ReadAnswer(text);
  const RequestResult b = whole.ReadAnswer(text);
  bool same = a.Ok() == b.Ok() && a.reason == b.reason &&
              streamed.apps.size() == whole.apps.size() && streamed.page == whole.page &&
              streamed.count == whole.count && streamed.tpage == whole.tpage &&
              streamed.tcount == whole.tcount;
  for (size_t i = 0; same && i < streamed.apps.size(); ++i)
    same = Fields(streamed.apps[i]) == Fields(whole.apps[i]);
  if (!same) std::abort();
}

}  // namespace

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
  const std::string_view text = orvfuzz::Text(data, size);
  CompareReadings<CHotAppCtrl>(text);
  CompareReadings<CAllWebAppCtrl>(text);
  CompareReadings<CPrivateDesktopAppCtrl>(text);
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
