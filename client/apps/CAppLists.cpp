#include "client/apps/CAppLists.h"

#include <memory>

#include "client/apps/InstallState.h"
#include "client/base/ServerConfig.h"
#include "client/base/UserSession.h"
#include "client/requests/AppListCtrls.h"

namespace {

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

CAppLists::CAppLists(const UserSession& session, Runner runner)
    : m_session(session), m_runner(std::move(runner)) {
  for (int i = 0; i < kAppListKinds; ++i) m_slots[i].list.kind = static_cast<AppListKind>(i);
}

ListFetch CAppLists::PlanOf(AppListKind kind) const {
  ListFetch fetch;
  fetch.kind = kind;
  if (kind == AppListKind::PrivateWeb) {
    fetch.url = PrivateAppListUrl(server_paths::kMyWebApps, m_session.cookieKey);
    fetch.folder = CPrivateWebAppCtrl::FolderOf(m_session);
  } else if (kind == AppListKind::PrivateDesktop) {
    fetch.url = PrivateAppListUrl(server_paths::kMyClientApps, m_session.cookieKey);
    fetch.folder = CPrivateDesktopAppCtrl::FolderOf(m_session);
  } else {
    const auto ctrl = MakeController(kind);
    fetch.url = ctrl->DefaultUrl();
    fetch.folder = ctrl->DefaultFolder();
  }
  return fetch;
}

CAppLists::Requested CAppLists::Request(AppListKind kind, Answer answer) {
  Slot& slot = SlotOf(kind);
  if (m_aborted) return Requested::Held;
  if (slot.flight != 0) {
    if (answer) slot.waiters.push_back(std::move(answer));
    return Requested::Joined;
  }
  if (!IsPrivate(kind) && slot.held) return Requested::Held;

  const long long flight = m_nextFlight++;
  slot.flight = flight;
  ++slot.fetches;
  if (answer) slot.waiters.push_back(std::move(answer));
  if (m_runner)
    m_runner(PlanOf(kind), [this, kind, flight](FetchedList fetched) {
      Finish(kind, flight, std::move(fetched));
    });
  return Requested::Started;
}

void CAppLists::Finish(AppListKind kind, long long flight, FetchedList answer) {
  Slot& slot = SlotOf(kind);
  // An answer of a fetch that was forgotten (AbortAll) changes nothing.
  if (slot.flight != flight) return;
  slot.flight = 0;
  if (answer.result.Ok()) {
    slot.list.records = std::move(answer.value.records);
    slot.list.states = std::move(answer.value.states);
  }
  // The hot list is held after its first answer, whatever it was; a catalogue list only
  // while it holds records.
  slot.held = kind == AppListKind::Hot || !slot.list.records.empty();
  if (IsCatalogue(kind) && slot.list.records.empty()) slot.list.states.clear();

  std::vector<Answer> waiters;
  waiters.swap(slot.waiters);
  for (const Answer& waiter : waiters) waiter(answer.result, slot.list);
}

bool CAppLists::InFlight(AppListKind kind) const { return SlotOf(kind).flight != 0; }

const AppList& CAppLists::Held(AppListKind kind) const { return SlotOf(kind).list; }

void CAppLists::Append(AppListKind kind, const OrvAppInfo& record) {
  AppList& list = SlotOf(kind).list;
  list.records.push_back(std::make_shared<OrvAppInfo>(record));
  list.states[record.xh] = QueryInstallStateOf(record, list);
}

bool CAppLists::RemoveFirstWithImg(AppListKind kind, const std::string& img) {
  auto& records = SlotOf(kind).list.records;
  for (auto it = records.begin(); it != records.end(); ++it) {
    if ((*it)->img == img) {
      records.erase(it);
      return true;
    }
  }
  return false;
}

void CAppLists::RefreshInstallStates() {
  for (Slot& slot : m_slots) ComputeInstallStates(slot.list);
}

void CAppLists::AbortAll() {
  m_aborted = true;
  for (Slot& slot : m_slots) {
    slot.flight = 0;
    slot.waiters.clear();
  }
}

AppRecord CAppLists::FindByXh(AppListKind kind, const std::string& xh) const {
  for (const AppRecord& record : SlotOf(kind).list.records)
    if (record->xh == xh) return record;
  return nullptr;
}

int CAppLists::FetchCount(AppListKind kind) const { return SlotOf(kind).fetches; }

FetchedList CAppLists::Fetch(const ListFetch& fetch, AbortFlag& abort) {
  FetchedList fetched;
  fetched.value.kind = fetch.kind;
  const auto ctrl = MakeController(fetch.kind);
  ctrl->UseAbortFlag(abort);
  fetched.result = ctrl->Run(fetch.url, fetch.folder);
  if (!fetched.result.Ok()) return fetched;
  fetched.value.records.reserve(ctrl->apps.size());
  // Moved, not copied: a large catalogue is not held twice while its records are made.
  for (OrvAppInfo& app : ctrl->apps)
    fetched.value.records.push_back(std::make_shared<OrvAppInfo>(std::move(app)));
  ComputeInstallStates(fetched.value);
  return fetched;
}
