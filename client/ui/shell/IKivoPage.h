#pragma once
// One page of the main window as the window drives it: the home page (hot-apps strip and
// banner), the app centre, my apps, the diagnosis and the service desk. The window keeps
// its pages by index (the tab's index) and calls through this interface. GUI thread only.
#include <string>

class IKivoPage {
 public:
  virtual ~IKivoPage() = default;

  // True when the page opens only for a signed-in user (the window asks for the login).
  virtual bool NeedsLogin() const { return false; }
  // The page is switched to: it requests what it shows and shows itself at once with what
  // it holds.
  virtual void Enter() = 0;
  // Another page was switched to: the page hides.
  virtual void Leave() = 0;
  // The icon (or picture) downloaded from `key` has arrived.
  virtual void RefreshIcon(const std::string& /*key*/) {}
  // Download progress of `url` (tile_look percent codes).
  virtual void ShowProgress(const std::string& /*url*/, int /*percent*/) {}
  // The install states were worked out again (Uninstall registrations changed); `shown`
  // tells whether the page is the one on show.
  virtual void RefreshStates(bool /*shown*/) {}
};
