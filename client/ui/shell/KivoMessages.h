#pragma once
// The private message numbers of the main window. Every one of them reaches the window's
// one dispatch point (CKivoDlg::Dispatch).
#include "client/apps/AppActions.h"

namespace kivo_msg {
inline constexpr int kPageSwitch = 1125;    // tab strip: wParam page index
inline constexpr int kTrayCallback = 1179;  // tray icon
inline constexpr int kActivateApp = 1289;   // application buttons: record, list
inline constexpr int kAddApp = 1290;
inline constexpr int kDeleteApp = 1291;
inline constexpr int kUpgradeApp = 1292;
inline constexpr int kUninstallApp = 1293;
inline constexpr int kUninstallKeyChanged = 2025;  // Uninstall watcher, posted
inline constexpr int kPushMessage = 2026;          // push worker, sent
inline constexpr int kCustomerService = 2027;      // customer-service worker, sent
inline constexpr int kUpdateResult = 3024;         // update-check worker, sent
}  // namespace kivo_msg

// The five application actions (client/apps) are numbered as their messages.
static_assert(static_cast<int>(AppAction::Activate) == kivo_msg::kActivateApp &&
              static_cast<int>(AppAction::Add) == kivo_msg::kAddApp &&
              static_cast<int>(AppAction::Delete) == kivo_msg::kDeleteApp &&
              static_cast<int>(AppAction::Upgrade) == kivo_msg::kUpgradeApp &&
              static_cast<int>(AppAction::Uninstall) == kivo_msg::kUninstallApp);
