#pragma once
// Hand-off to the updater: records the update settings and starts Orvlift from the
// program directory. The updater itself reads neither.
#include <string>

// "\UpdateCache\UpdateInfo.ini", section [UpdateSettings].
inline constexpr const char* kUpdateInfoFile = "\\UpdateCache\\UpdateInfo.ini";
inline constexpr const char* kUpdateInfoSection = "UpdateSettings";
// The updater's file name in the program directory.
inline constexpr const char* kUpdaterProgram = "Orvlift";

// Writes the five keys (ip, user, pass, version, file) in that order. A missing
// "UpdateCache" folder makes the writes fail (false); nothing else depends on them.
bool WriteUpdateInfo();

enum class LaunchResult { Started, Missing, Failed };

// WriteUpdateInfo(), then starts the updater without parameters. Missing: the updater
// is not in the program directory.
LaunchResult LaunchUpdater();
