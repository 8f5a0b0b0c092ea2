#pragma once
// The five application lists of the window and their request rules. Owner thread only
// (the GUI thread in the program); the fetches themselves run wherever the runner puts
// them, and their answers come back to the owner's thread through it.
//
// Rules of *request list*(kind): the hot list and the two catalogue lists are fetched only
// while not held (a catalogue list that came back empty is forgotten and fetched again next
// time); the private lists on every request, with the session's current cookie key and user
// folder. A request of a list whose fetch is in flight joins that fetch. A failed fetch
// leaves the held list as it was.
#include <functional>
#include <string>
#include <vector>

#include "client/apps/AppList.h"
#include "client/base/RequestResult.h"

struct UserSession;

// One fetch of a list, fixed when it was requested.
struct ListFetch {
  AppListKind kind = AppListKind::Hot;
  std::string url;
  std::string folder;
};

// A fetch's answer: the records, and the list as the fetch found it with its install states.
using FetchedList = CallResult<AppList>;

class CAppLists {
 public:
  // Called on the owner's thread with the fetch's status and the list as now held.
  using Answer = std::function<void(const RequestResult& result, const AppList& list)>;
  // Runs `fetch` off the owner's thread and hands its answer to `done` on the owner's
  // thread, or never when the owner is gone.
  using Runner = std::function<void(const ListFetch& fetch, std::function<void(FetchedList)> done)>;

  CAppLists(const UserSession& session, Runner runner);
  CAppLists(const CAppLists&) = delete;
  CAppLists& operator=(const CAppLists&) = delete;

  enum class Requested {
    Held,     // the held list stands: `answer` is not called
    Started,  // a fetch started: `answer` is called when it ends
    Joined,   // the fetch in flight will answer too
  };
  Requested Request(AppListKind kind, Answer answer = {});
  bool InFlight(AppListKind kind) const;
  // The list as held, without a request.
  const AppList& Held(AppListKind kind) const;
  // Appends a copy of a record to a held list (add action).
  void Append(AppListKind kind, const OrvAppInfo& record);
  // Removes the first record whose img equals `img`; false when none did.
  bool RemoveFirstWithImg(AppListKind kind, const std::string& img);
  // Works out the install states of every held list again (Uninstall registrations changed).
  void RefreshInstallStates();
  // Forgets every fetch in flight (their answers are dropped) and refuses later requests.
  void AbortAll();

  // The first held record of `kind` whose xh is `xh`; null when none.
  AppRecord FindByXh(AppListKind kind, const std::string& xh) const;
  // How many fetches Request has started for `kind` (tests, diagnostics).
  int FetchCount(AppListKind kind) const;

  // The fetch itself, on a worker: a fresh controller of the kind watching `abort`, its
  // records and their install states.
  static FetchedList Fetch(const ListFetch& fetch, AbortFlag& abort);

 private:
  struct Slot {
    AppList list;
    bool held = false;     // answered before and not forgotten
    long long flight = 0;  // number of the fetch in flight, 0 when none
    std::vector<Answer> waiters;
    int fetches = 0;
  };
  ListFetch PlanOf(AppListKind kind) const;
  void Finish(AppListKind kind, long long flight, FetchedList answer);
  Slot& SlotOf(AppListKind kind) { return m_slots[static_cast<int>(kind)]; }
  const Slot& SlotOf(AppListKind kind) const { return m_slots[static_cast<int>(kind)]; }

  const UserSession& m_session;
  Runner m_runner;
  Slot m_slots[kAppListKinds];
  long long m_nextFlight = 1;
  bool m_aborted = false;
};
