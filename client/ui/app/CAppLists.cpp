#include "client/ui/app/CAppLists.h"

#include <array>

struct CAppLists::Impl {
  std::array<AppList, 5> lists;
};

CAppLists::CAppLists(const UserSession&, FetchRunner) : m_impl(std::make_unique<Impl>()) {
  for (int i = 0; i < 5; ++i) m_impl->lists[i].kind = static_cast<AppListKind>(i);
}
CAppLists::~CAppLists() = default;
const AppList& CAppLists::Request(AppListKind kind) { return Held(kind); }
const AppList& CAppLists::Held(AppListKind kind) const {
  return m_impl->lists[static_cast<int>(kind)];
}
void CAppLists::Append(AppListKind, const OrvAppInfo&) {}
bool CAppLists::RemoveFirstWithImg(AppListKind, const std::string&) { return false; }
void CAppLists::AbortAll() {}
