#include "client/base/XmlParseLock.h"

std::unique_lock<std::mutex> LockXmlParsing() {
  static std::mutex mutex;
  return std::unique_lock<std::mutex>(mutex);
}
