#pragma once
// The five list controllers of the main window and the lists the tiles read. Main thread.
// Each list is handed out as shared records, so a tile made from a record keeps it after
// the list has been requested again and rebuilt.
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

  // *request list*(kind): the hot list and the two catalogue lists only while not held (a
  // catalogue list that came back empty is forgotten and requested again next time); the
  // private lists on every call, with the session's current cookie key and user folder.
  // A call made while the same list is being fetched (from a nested event) answers the
  // list as held.
  const AppList& Request(AppListKind kind);
  // The list as held, without a request.
  const AppList& Held(AppListKind kind) const;
  // Appends a copy of a record to a held list (add action).
  void Append(AppListKind kind, const OrvAppInfo& record);
  // Removes the first record whose img equals `img`; false when none did.
  bool RemoveFirstWithImg(AppListKind kind, const std::string& img);
  // Ends every request in flight at once and makes later ones fail (teardown).
  void AbortAll();

  // The first held record of `kind` whose xh is `xh`; null when none.
  AppRecord FindByXh(AppListKind kind, const std::string& xh) const;
  // How many fetches Request has run for `kind` (tests, diagnostics).
  int FetchCount(AppListKind kind) const;

 private:
  struct Impl;
  std::unique_ptr<Impl> m_impl;
};
