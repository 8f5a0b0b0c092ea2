#include "client/update/UpdateCheck.h"

#include <curl/curl.h>
#include <tinyxml.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <thread>
#include <vector>

#include "client/base/OwnVersion.h"
#include "client/base/ServerConfig.h"
#include "client/base/XmlLimits.h"
#include "client/base/XmlParseLock.h"
#include "common/download/CurlPerform.h"
#include "common/download/CurlSetup.h"
#include "common/download/FtpUrl.h"
#include "platform/Files.h"
#include "platform/ProgramDir.h"

namespace {

// Decimal parts of a dotted version; false when a part is empty or not a number.
bool ParseVersion(const std::string& text, std::vector<unsigned long long>& parts) {
  parts.clear();
  if (text.empty()) return false;
  size_t start = 0;
  while (true) {
    size_t dot = text.find('.', start);
    std::string part =
        text.substr(start, dot == std::string::npos ? std::string::npos : dot - start);
    if (part.empty() || part.size() > 18) return false;
    unsigned long long value = 0;
    for (char c : part) {
      if (c < '0' || c > '9') return false;
      value = value * 10 + static_cast<unsigned>(c - '0');
    }
    parts.push_back(value);
    if (dot == std::string::npos) return true;
    start = dot + 1;
  }
}

const TiXmlElement* FindFirst(const TiXmlElement* element, const char* name) {
  for (; element; element = element->NextSiblingElement()) {
    if (element->ValueStr() == name) return element;
    if (const TiXmlElement* inner = FindFirst(element->FirstChildElement(), name)) return inner;
  }
  return nullptr;
}

struct DescriptorSink {
  FILE* file = nullptr;
  size_t written = 0;
  bool tooLarge = false;
};

size_t WriteToFile(char* data, size_t size, size_t count, void* user) {
  auto* sink = static_cast<DescriptorSink*>(user);
  const size_t n = size * count;
  if (sink->written + n > kMaxXmlAnswerBytes) {
    sink->tooLarge = true;
    return 0;  // ends the transfer: the descriptor is a few hundred bytes
  }
  sink->written += n;
  return std::fwrite(data, 1, n, sink->file);
}

// Puts the complete file `from` in place of `target`. On Windows the replacement fails while
// another check reads the target (a moment's open, without delete sharing): it is tried again
// for up to a second before the transfer counts as failed.
bool ReplaceWith(const std::string& from, const std::string& target) {
  std::error_code ec;
  for (int attempt = 0; attempt < 100; ++attempt) {
    if (attempt > 0) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    std::filesystem::rename(plat::FsPath(from), plat::FsPath(target), ec);
    if (!ec) return true;
  }
  return false;
}

// FetchUpdateDescriptor; with publishedVersion, also the version this transfer brought, read
// from its own file before that replaces localFile (which a simultaneous check may be
// replacing or reading at the same moment).
bool Fetch(const std::string& endpointUrl, const std::string& localFile,
           const std::atomic<bool>* abort, std::string* publishedVersion) {
  static const std::atomic<bool> never{false};
  if (!abort) abort = &never;
  if (*abort) return false;
  // A name of this transfer's own: checks of several threads or processes (the worker,
  // the diagnosis, orvanta-cli) may fetch into the same file at once.
  static std::atomic<unsigned> transfers{0};
  std::string partial = localFile + ".part" + std::to_string(plat::CurrentProcessId()) + "-" +
                        std::to_string(transfers.fetch_add(1));
  FILE* out = plat::CreateNewFile(partial);
  if (!out) return false;
  bool ok = false;
  DescriptorSink sink;
  sink.file = out;
  if (const CurlHandle handle = NewCurlHandle()) {
    CURL* curl = handle.get();
    std::string url = FtpUrlFromServerRoot(endpointUrl + "AutoUpdater/AutoUpdater.xml");
    curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
    // A stalled server must not hold the check forever.
    CurlTransferSetup setup;
    setup.schemes = CurlSchemes::Ftp;
    ApplyCurlSetup(curl, setup);
    curl_easy_setopt(curl, CURLOPT_FTP_USE_EPSV, 1L);
    curl_easy_setopt(curl, CURLOPT_TRANSFERTEXT, 0L);
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, &WriteToFile);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &sink);
    CURLcode rc = PerformUnlessAborted(curl, *abort);
    // A server that refuses passive mode is asked again in active mode (nothing was written).
    if (rc != CURLE_OK && !*abort && FtpPassiveRefused(curl, rc) && sink.written == 0) {
      UseActiveFtp(curl);
      rc = PerformUnlessAborted(curl, *abort);
    }
    ok = rc == CURLE_OK;
  }
  ok = std::fclose(out) == 0 && ok;
  if (ok && publishedVersion) *publishedVersion = ReadPublishedVersion(partial);
  ok = ok && ReplaceWith(partial, localFile);
  std::error_code ec;
  if (!ok) std::filesystem::remove(plat::FsPath(partial), ec);
  return ok;
}

}  // namespace

int CompareVersions(const std::string& local, const std::string& published) {
  std::vector<unsigned long long> mine, theirs;
  if (!ParseVersion(local, mine) || !ParseVersion(published, theirs)) return kUpdateNoAnswer;
  size_t n = std::max(mine.size(), theirs.size());
  mine.resize(n, 0);
  theirs.resize(n, 0);
  if (mine == theirs) return kUpdateSameVersion;
  if (theirs[0] > mine[0]) return kUpdateNewMajor;
  if (theirs[0] == mine[0] && theirs > mine) return kUpdateNewerRelease;
  return kUpdateNoAnswer;
}

std::string UpdateEndpointUrl() {
  ServerEndpoint endpoint = GetServerEndpoint(ServerKind::Update);
  std::string url = "ftp://";
  url += server_paths::kUpdateUser;
  url += ':';
  url += server_paths::kUpdatePassword;
  url += '@';
  url += endpoint.host;
  if (endpoint.port != 0 && endpoint.port != 21) url += ':' + std::to_string(endpoint.port);
  url += server_paths::kUpdateFolder;
  return url;
}

bool FetchUpdateDescriptor(const std::string& endpointUrl, const std::string& localFile,
                           const std::atomic<bool>* abort) {
  return Fetch(endpointUrl, localFile, abort, nullptr);
}

std::string ReadPublishedVersion(const std::string& descriptorFile) {
  // A descriptor too large or nested too deep for the XML library is not parsed.
  std::string head;
  if (!plat::ReadFileHead(descriptorFile, kMaxXmlAnswerBytes, head) ||
      head.size() > kMaxXmlAnswerBytes || !XmlNestingWithin(head))
    return {};
  // The text checked is the text parsed (the file is not read again). The XML library steps
  // over a UTF-8 sequence by its lead byte's length, past the terminator when the text ends
  // inside one: the NUL bytes after the end keep that step within the buffer.
  std::string text = XmlLfLineEnds(head);
  text.append(kXmlEndPadding, '\0');
  const auto xmlLock = LockXmlParsing();
  TiXmlDocument doc;
  doc.Parse(text.c_str(), nullptr, TIXML_ENCODING_UNKNOWN);
  if (doc.Error()) return {};
  // The root element and its descendants only (TinyXML accepts further top-level elements).
  const TiXmlElement* root = doc.RootElement();
  if (!root) return {};
  const TiXmlElement* found = root->ValueStr() == "Main_Version"
                                  ? root
                                  : FindFirst(root->FirstChildElement(), "Main_Version");
  if (!found) return {};
  const char* version = found->Attribute("Version");
  return version ? version : "";
}

UpdateCheckResult CheckForUpdateDetailed(const std::string& descriptorFile,
                                         const std::atomic<bool>* abort) {
  const std::string file =
      descriptorFile.empty() ? plat::JoinProgramPath("\\AutoUpdater.xml") : descriptorFile;
  UpdateCheckResult result;
  std::string published;
  if (Fetch(UpdateEndpointUrl(), file, abort, &published)) {
    result.publishedVersion = published;
    if (result.publishedVersion.empty())
      result.result = RequestResult::Unusable("update check", "no usable version in descriptor");
  } else {
    result.result = RequestResult::NoAnswer("update check", "descriptor not fetched");
  }
  result.localVersion = GetOwnVersion();
  result.code = CompareVersions(result.localVersion, result.publishedVersion);
  return result;
}

int CheckForUpdate() { return CheckForUpdateDetailed().code; }
