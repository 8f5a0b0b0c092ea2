#include "client/ui/app/CAppLists.h"

#include <array>
#include <atomic>

#include "client/base/ServerConfig.h"
#include "client/base/UserSession.h"
#include "client/requests/AppListCtrls.h"

namespace {

constexpr int kKinds = 5;

int Index(AppListKind kind) { return static_cast<int>(kind); }

bool IsPrivate(AppListKind kind) {
  return kind == AppListKind::PrivateWeb || kind == AppListKind::PrivateDesktop;
}

bool IsCatalogue(AppListKind kind) {
  return kind == AppListKind::AllWeb || kind == AppListKind::AllDesktop;
}

std::unique_ptr<COrvAppListCtrl> MakeController(AppListKind kind) {
  switch (kind) {
    case AppListKind::Hot:
      return std::make_unique<CHotAppCtrl>();
    case AppListKind::AllWeb:
      return std::make_unique<CAllWebAppCtrl>();
    case AppListKind::AllDesktop:
      return std::make_unique<CAllClientAppCtrl>();
    case AppListKind::PrivateWeb:
      return std::make_unique<CPrivateWebAppCtrl>();
    case AppListKind::PrivateDesktop:
      return std::make_unique<CPrivateDesktopAppCtrl>();
  }
  return nullptr;
}

}  // namespace

struct CAppLists::Impl {
  Impl(const UserSession& s, FetchRunner r) : session(s), runner(std::move(r)) {}

  const UserSession& session;
  FetchRunner runner;
  std::array<std::shared_ptr<COrvAppListCtrl>, kKinds> controllers;
  std::array<AppList, kKinds> lists;
  std::array<bool, kKinds> fetching{};
  std::array<int, kKinds> fetchCount{};
  std::atomic<bool> aborted{false};

  COrvAppListCtrl& ControllerOf(AppListKind kind) {
    auto& slot = controllers[Index(kind)];
    if (!slot) {
      slot = MakeController(kind);
      if (aborted) slot->Abort();
    }
    return *slot;
  }

  // The held list becomes fresh records made from the controller's list.
  void Publish(AppListKind kind) {
    AppList& list = lists[Index(kind)];
    list.records.clear();
    const auto& ctrl = controllers[Index(kind)];
    if (!ctrl) return;
    list.records.reserve(ctrl->apps.size());
    for (const OrvAppInfo& app : ctrl->apps)
      list.records.push_back(std::make_shared<OrvAppInfo>(app));
  }
};

CAppLists::CAppLists(const UserSession& session, FetchRunner runner)
    : m_impl(std::make_unique<Impl>(session, std::move(runner))) {
  for (int i = 0; i < kKinds; ++i) m_impl->lists[i].kind = static_cast<AppListKind>(i);
}

CAppLists::~CAppLists() = default;

const AppList& CAppLists::Request(AppListKind kind) {
  Impl& d = *m_impl;
  const int i = Index(kind);
  if (d.fetching[i]) return d.lists[i];
  if (!IsPrivate(kind) && d.controllers[i]) return d.lists[i];

  d.ControllerOf(kind);
  const std::shared_ptr<COrvAppListCtrl> ctrl = d.controllers[i];
  std::string url;
  std::string folder;
  if (kind == AppListKind::PrivateWeb) {
    url = PrivateAppListUrl(server_paths::kMyWebApps, d.session.cookieKey);
    folder = CPrivateWebAppCtrl::FolderOf(d.session);
  } else if (kind == AppListKind::PrivateDesktop) {
    url = PrivateAppListUrl(server_paths::kMyClientApps, d.session.cookieKey);
    folder = CPrivateDesktopAppCtrl::FolderOf(d.session);
  } else {
    url = ctrl->DefaultUrl();
    folder = ctrl->DefaultFolder();
  }

  // The fetch may run on another thread while this one keeps painting; the controller is
  // held by the fetch itself so nothing it touches goes away meanwhile.
  d.fetching[i] = true;
  ++d.fetchCount[i];
  auto fetch = [ctrl, url, folder] { ctrl->Run(url, folder); };
  if (d.runner)
    d.runner(fetch);
  else
    fetch();
  d.fetching[i] = false;

  if (IsCatalogue(kind) && ctrl->apps.empty()) {
    d.controllers[i].reset();
    d.lists[i].records.clear();
    return d.lists[i];
  }
  d.Publish(kind);
  return d.lists[i];
}

const AppList& CAppLists::Held(AppListKind kind) const { return m_impl->lists[Index(kind)]; }

void CAppLists::Append(AppListKind kind, const OrvAppInfo& record) {
  // The controller's own list takes it too, so a later request that fails (and leaves the
  // controller's list as it was) still shows it.
  m_impl->ControllerOf(kind).apps.push_back(record);
  m_impl->lists[Index(kind)].records.push_back(std::make_shared<OrvAppInfo>(record));
}

bool CAppLists::RemoveFirstWithImg(AppListKind kind, const std::string& img) {
  Impl& d = *m_impl;
  if (auto& ctrl = d.controllers[Index(kind)]) {
    auto& apps = ctrl->apps;
    for (auto it = apps.begin(); it != apps.end(); ++it) {
      if (it->img == img) {
        apps.erase(it);
        break;
      }
    }
  }
  auto& records = d.lists[Index(kind)].records;
  for (auto it = records.begin(); it != records.end(); ++it) {
    if ((*it)->img == img) {
      records.erase(it);
      return true;
    }
  }
  return false;
}

void CAppLists::AbortAll() {
  m_impl->aborted = true;
  for (auto& ctrl : m_impl->controllers)
    if (ctrl) ctrl->Abort();
}

AppRecord CAppLists::FindByXh(AppListKind kind, const std::string& xh) const {
  for (const AppRecord& record : m_impl->lists[Index(kind)].records)
    if (record->xh == xh) return record;
  return nullptr;
}

int CAppLists::FetchCount(AppListKind kind) const { return m_impl->fetchCount[Index(kind)]; }
