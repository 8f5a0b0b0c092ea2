#pragma once
// The five list controllers of the main window and the lists the tiles read. Main thread.
// (Contract stub: the tiles work fills it in.)
#include <functional>
#include <memory>
#include <string>

#include "client/ui/app/IKivoHost.h"

struct UserSession;

class CAppLists {
 public:
  // Runs one blocking fetch for Request; the window passes RunKeepingPainted.
  using FetchRunner = std::function<void(const std::function<void()>& fetch)>;

  CAppLists(const UserSession& session, FetchRunner runner);
  ~CAppLists();
  CAppLists(const CAppLists&) = delete;
  CAppLists& operator=(const CAppLists&) = delete;

  // *request list*(kind) with the window's rules.
  const AppList& Request(AppListKind kind);
  // The list as held, without a request.
  const AppList& Held(AppListKind kind) const;
  // Appends a copy of a record to a held list (add action).
  void Append(AppListKind kind, const OrvAppInfo& record);
  // Removes the first record whose img equals `img`; false when none did.
  bool RemoveFirstWithImg(AppListKind kind, const std::string& img);
  // Ends every request in flight at once and makes later ones fail (teardown).
  void AbortAll();

 private:
  struct Impl;
  std::unique_ptr<Impl> m_impl;
};
