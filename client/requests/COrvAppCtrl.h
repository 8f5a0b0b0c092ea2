#pragma once
// Base of every request controller: one JSON exchange with a platform web server.
// Run fetches the URL synchronously, parses the answer, lets the derived class read the
// document into its result fields, and asks the process image fetcher for the icons of
// the records in `apps`. Every run hands back a status (ok, no answer, unusable answer,
// see RequestResult); a failed run leaves the previous results in place.
#include <json/json.h>

#include <atomic>
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "client/base/RequestResult.h"
#include "client/requests/OrvAppInfo.h"

class COrvAppCtrl {
 public:
  // Empty marker classes held by the list controllers.
  class OrvPrivateAppInfoSet {
   public:
    virtual ~OrvPrivateAppInfoSet() = default;
  };
  class OrvHotAppInfoSet {
   public:
    virtual ~OrvHotAppInfoSet() = default;
  };
  class OrvAllAppInfoSet {
   public:
    virtual ~OrvAllAppInfoSet() = default;
  };

  COrvAppCtrl();
  virtual ~COrvAppCtrl();

  // Reads `root` into the result fields.
  virtual void Parse() = 0;
  // 0 information requests, 1 hot list, 2 the other lists, subscriptions and reports.
  virtual int GetKind() const = 0;
  // Called after the fetch, before parsing.
  virtual void OnBeforeParse() {}

  // Larger answers are unusable: a list holds a few thousand records at most.
  static constexpr size_t kMaxAnswerBytes = 32 * 1024 * 1024;

  // The request cycle: fetch, parse, icon downloads. May be called again; each run
  // fetches anew. A failed fetch or an unusable answer leaves the results unchanged and
  // is returned (and kept in lastResult) with its reason, which is also logged.
  RequestResult Run(const std::string& url, const std::string& folder);

  // The reading part of Run: parses an answer text into the result fields with the same
  // statuses. A failed reading leaves the results unchanged.
  RequestResult ReadAnswer(std::string_view text);

  // Ends a fetch in progress promptly and makes every later Run of this controller fail
  // the same way: an aborted fetch counts as a failed one. Safe from any thread, before
  // or during Run (shutdown of a thread that is waiting on a silent server).
  void Abort() { *m_abort = true; }
  bool Aborted() const { return m_abort->load(); }
  // Watches flag (which must outlive the controller) instead of its own: raising it ends
  // this controller's runs as Abort() does, together with everything else sharing it.
  void UseAbortFlag(AbortFlag& flag) { m_abort = &flag; }

  // GET of url; the body with every line end dropped, "" on any failure. Connect
  // time-out 3000 ms, three connect attempts 1000 ms apart.
  static std::string HttpGetText(const std::string& url);
  // The same, given up ("") within a fraction of a second once abort is raised.
  static std::string HttpGetText(const std::string& url, const std::atomic<bool>& abort);

  // The fetch with its status: NoAnswer on a transport failure or abort, Unusable when the
  // body grows past maxBytes (the transfer stops there). text has the line ends dropped.
  struct TextAnswer {
    RequestResult result;
    std::string text;
  };
  static TextAnswer FetchText(const std::string& url, const std::atomic<bool>& abort,
                              size_t maxBytes = kMaxAnswerBytes);

  // Lookups over `apps`: exact comparison, first match, "" when nothing matches.
  std::string FindXhByName(const std::string& name) const;
  std::string FindAppIdByName(const std::string& name) const;
  std::string FindSetupPathByXh(const std::string& xh) const;
  std::string FindDownUrlByXh(const std::string& xh) const;
  std::string FindCodeByXh(const std::string& xh) const;

  std::string responseText;    // the answer text of the last fetch
  std::string folder;          // relative cache folder ("\HotApp\")
  std::string url;             // full URL of the last request
  Json::Value root;            // the parsed answer
  Json::Value readerFeatures;  // JsonCpp reader settings (the defaults)
  std::vector<OrvAppInfo> apps;
  RequestResult lastResult;  // the status of the last Run

 protected:
  // Reads text without building its whole tree, into the result fields and a `root` of what
  // Parse would need beyond them. False, with the results unchanged, when the text is not of
  // the shape it follows: the whole tree is then parsed and handed to Parse.
  virtual bool ReadStreamed(std::string_view /*text*/) { return false; }
  // Called by Parse when a value of the answer cannot be used (a port out of range): the
  // run then reports Unusable with this reason.
  void MarkUnusable(const std::string& reason) { m_unusable = reason; }
  // Writes a line to the thread log.
  static void LogError(const std::string& text);

 private:
  void RequestIconDownloads() const;

  AbortFlag m_aborted{false};
  AbortFlag* m_abort = &m_aborted;  // the flag watched
  std::string m_unusable;           // set by Parse through MarkUnusable
};
