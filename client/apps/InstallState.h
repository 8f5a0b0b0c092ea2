#pragma once
// The install state of a desktop application from its Uninstall registration, the state
// codes of the tiles' badges, and the readings of the registration's DisplayIcon and
// UninstallString values.
#include <string>
#include <utility>

#include "client/apps/AppList.h"

namespace tile_state {
inline constexpr int kNone = 0;
inline constexpr int kUpdate = 1;
inline constexpr int kDisabled = 2;
inline constexpr int kTrial = 3;
inline constexpr int kNotInstalled = 4;
inline constexpr int kNotOpened = 5;
inline constexpr int kNotAuthorised = 6;
inline constexpr int kUninstall = 7;
inline constexpr int kRun = 8;
}  // namespace tile_state

// Badge image of a state ("image\PngButton\运行.png"); "" for 0 and unknown codes.
std::string BadgeImageOf(int state);
// The badge's meaning in words ("运行"); "" for 0 and unknown codes.
std::string StateWordsOf(int state);

// Dotted versions compared numerically part by part (missing parts count as 0; a part's
// non-digit tail compares as text): negative, 0 or positive as a < b, a == b, a > b.
int CompareVersionText(const std::string& a, const std::string& b);

// The state of `record` bound to `list`: 0 for a web record; else its Uninstall key (the
// code of the list's record with the same xh) gives 4 without a DisplayIcon, 1 when the
// registered DisplayVersion is older than the record's version, else 8. Reads the registry.
int QueryInstallStateOf(const OrvAppInfo& record, const AppList& list);

// Whether the installer of a desktop record is downloaded (its file under LumoDownloads is
// there), so that the next activation runs it.
bool InstallerDownloaded(const OrvAppInfo& record);
// Works out `list.states` for every record of the list (reads the registry).
void ComputeInstallStates(AppList& list);
// The state held for `record` in `list`: 0 for a web record, 4 for a desktop record the
// list holds no state for.
int HeldInstallState(const OrvAppInfo& record, const AppList& list);

// The program a DisplayIcon value names: surrounding quotes removed, a trailing ",N" icon
// index dropped.
std::string ProgramOfDisplayIcon(const std::string& value);
// An UninstallString split as a command line: the program, then its own arguments joined
// back into a parameter string.
std::pair<std::string, std::string> SplitCommandLine(const std::string& value);
