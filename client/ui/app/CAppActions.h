#pragma once
// The five application actions of the main window (activate, add, delete, upgrade,
// uninstall) and *run local file*. Main thread. (Contract stub: the tiles work fills it in.)
#include <string>

#include "client/ui/app/IKivoHost.h"

class CAppLists;

class CAppActions {
 public:
  CAppActions(IKivoHost& host, CAppLists& lists);

  // The handler of message 1289..1293; false when it lacked what it needs.
  bool Handle(AppAction action, const AppRecord& record, AppListKind list);

  // *run local file*: "本地文件不存在!" and -1 when the file is missing, else starts it
  // with the parameters and returns 0. The update hand-off uses it too.
  int RunLocalFile(const std::string& path, const std::string& parameters);

 private:
  IKivoHost& m_host;
  CAppLists& m_lists;
};
