#pragma once
// What the updater knows of the installed client: its uninstall registration, the
// installer location in its "conf.config", and running its uninstaller.
#include <optional>
#include <string>

// The display name that marks the client's uninstall entry (contained, not equal).
inline constexpr const char* kClientDisplayName = "奥凡云平台";
inline constexpr const char* kAppPathValue = "Inno Setup: App Path";
inline constexpr const char* kUninstallStringValue = "UninstallString";
inline constexpr const char* kSilentUninstallParameters = "/VERYSILENT /SUPPRESSMSGBOXES";

// "SOFTWARE\Wow6432Node\..." on 64-bit Windows, else "SOFTWARE\...", the uninstall list.
std::string UninstallListKey();

// The first uninstall entry (in enumeration order) whose string "DisplayName" contains the
// client's name decides: its string value `valueName`, or nothing when that entry lacks
// it (later entries are not examined). Nothing when no entry matches.
std::optional<std::string> FindUninstallValue(const std::string& valueName);

// Depth-first, in document order, below the first top-level element: the first "add"
// element whose first attribute is key="Url"; its "value" attribute. "" when the file,
// the element or the attribute is missing.
std::string ReadInstallerUrlBase(const std::string& confConfigPath);

// Runs the uninstall command with the silent switches and waits for it without a time
// limit. True only when it started and exited with 0. A command enclosed in double
// quotes is taken without them.
bool RunSilent(const std::string& command);
