#include "common/download/FtpUrl.h"

std::string FtpUrlFromServerRoot(const std::string& url) {
  size_t scheme = url.find("://");
  if (scheme == std::string::npos) return url;
  size_t path = url.find('/', scheme + 3);
  if (path == std::string::npos || url.compare(path, 4, "/%2F") == 0 ||
      url.compare(path, 4, "/%2f") == 0)
    return url;
  return url.substr(0, path + 1) + "%2F" + url.substr(path + 1);
}
