#include "client/ui/app/KivoLayout.h"

#include "client/base/UserSession.h"

namespace kivo_layout {

LoginDisplay LoginDisplayFor(const UserSession& session) {
  if (session.loggedIn == 1)
    return {QString::fromUtf8(kWelcomePrefix) + QString::fromStdString(session.userName), false};
  return {QString::fromUtf8(kNotLoggedIn), true};
}

int NextBannerIndex(int current, int count) {
  if (count <= 0) return -1;
  int next = current + 1;
  return (next >= count || next < 0) ? 0 : next;
}

int ProgressPercent(long long done, long long total) {
  if (total == 0) return 0;
  return static_cast<int>(done * 100 / total);
}

}  // namespace kivo_layout
