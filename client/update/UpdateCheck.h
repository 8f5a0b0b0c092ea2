#pragma once
// Whether a newer client release is published on the update FTP server.
//
// The server holds the descriptor "AutoUpdater/AutoUpdater.xml" below the fixed update
// folder; its first "Main_Version" element's "Version" attribute is the published version.
#include <atomic>
#include <string>

#include "client/base/RequestResult.h"

// Result codes of a check.
enum UpdateCheckCode {
  kUpdateNoAnswer = -1,     // no answer, or the local release is newer
  kUpdateSameVersion = 0,   // the published version is the local one
  kUpdateNewMajor = 1,      // the published major part is greater
  kUpdateNewerRelease = 2,  // same major part, the published version is newer
};

struct UpdateCheckResult {
  int code = kUpdateNoAnswer;
  std::string localVersion;
  std::string publishedVersion;  // "" when the server gave no usable descriptor
  // NoAnswer: the descriptor could not be fetched (or was larger than 1 MB); Unusable: it
  // holds no version the check can read (not XML, nested too deep, no attribute).
  RequestResult result;
};

// Compares dotted versions numerically, part by part (missing parts count as 0).
// Either version empty or not made of decimal parts: kUpdateNoAnswer.
int CompareVersions(const std::string& local, const std::string& published);

// "ftp://root:<password>@host[:port]/var/www/html/downloads/Orvanta_update/" for the
// configured update host.
std::string UpdateEndpointUrl();

// Downloads the descriptor from the endpoint into localFile (replacing it only when the
// transfer is complete). The endpoint's path is absolute on the server, not relative to
// the login folder. False on any FTP or file failure, and within a fraction of a second
// once *abort (when given) is raised.
bool FetchUpdateDescriptor(const std::string& endpointUrl, const std::string& localFile,
                           const std::atomic<bool>* abort = nullptr);

// "Version" of the first "Main_Version" element in document order (the root element
// included); "" when the file does not parse or has no such element or attribute.
std::string ReadPublishedVersion(const std::string& descriptorFile);

// Fetches the descriptor into descriptorFile, reads the published version and compares it
// with the client's own. Blocking. An empty descriptorFile means "AutoUpdater.xml" in the
// program directory (where the client's working folder is on an installed system).
// A raised *abort ends the transfer as a failed one (kUpdateNoAnswer).
UpdateCheckResult CheckForUpdateDetailed(const std::string& descriptorFile = {},
                                         const std::atomic<bool>* abort = nullptr);

// The result code of CheckForUpdateDetailed() with the descriptor in the program directory.
int CheckForUpdate();
