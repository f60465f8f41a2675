#pragma once

#include <string>

namespace app {

// True exactly when `path` names an existing file that can be opened for
// reading. The path is taken as it stands, of any length; a folder, a device
// or a file without read permission is not found.
bool FileExists(const std::string& path);

// True when the two paths name one file on the disk, however each is spelled
// (relative, with "..", through a symbolic or hard link).
bool SameFile(const std::string& first, const std::string& second);

} // namespace app
