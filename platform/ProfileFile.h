#pragma once
// The file side of the profile functions, one per platform: reading a profile file whole,
// and replacing it atomically under a lock that serialises writers between processes.
#include <functional>
#include <optional>
#include <string>

namespace plat::profile_file {

enum class EditResult { Unchanged, Changed, Failed };

// The file's bytes; nullopt when it cannot be opened or read.
std::optional<std::string> ReadFileBytes(const std::string& path);

// Runs `edit` on the file's content under the file's lock and replaces the file with
// the result. A missing file is created (empty) only when `create` is set; otherwise a
// missing file counts as unchanged (true, provided its folder exists).
// mode >= 0: the file is created with it and the replacement always gets it (owner-only
// files); otherwise new files get the default mode and a replacement keeps the file's mode.
bool ModifyFile(const std::string& nativeFile, bool create,
                const std::function<EditResult(std::string&)>& edit, int mode = -1);

}  // namespace plat::profile_file
