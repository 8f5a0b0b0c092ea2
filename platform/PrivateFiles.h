#pragma once
// Files only their owner may read: the user's private runtime folder (single-instance lock,
// pages handed to the browser) and owner-only appends (the log).
#include <string>
#include <string_view>

namespace plat {

// The user's private runtime folder: $XDG_RUNTIME_DIR when it is a folder of ours that no one
// else may enter, else a folder of ours made 0700 ("/tmp/orvanta-<uid>", then
// "$HOME/.orvanta-run"), each checked for owner, mode and not being a link. "" when none is
// usable; never a folder other users can write to.
std::string PrivateRuntimeDirectory();

// Appends bytes to a file, creating it 0600 and any missing folder of its path 0700. A link
// at the file's place is not followed. False when nothing was written.
bool AppendToPrivateFile(const std::string& nativePath, std::string_view bytes);

// Drops the group and other permission bits of an existing file or folder (not following a
// link). True when it is owner-only afterwards.
bool RestrictToOwner(const std::string& nativePath);

// Writes content into a new file of folder named prefix + random text + suffix, created 0600
// and never over an existing file. The file's path, or "" on failure.
std::string WriteNewPrivateFile(const std::string& folder, const std::string& prefix,
                                const std::string& suffix, std::string_view content);

}  // namespace plat
