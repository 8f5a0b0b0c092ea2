#include "client/ui/app/CAppActions.h"

CAppActions::CAppActions(IKivoHost& host, CAppLists& lists) : m_host(host), m_lists(lists) {}

bool CAppActions::Handle(AppAction, const AppRecord& record, AppListKind) {
  return record != nullptr;
}

int CAppActions::RunLocalFile(const std::string&, const std::string&) { return -1; }
