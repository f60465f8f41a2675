#pragma once

#include <string>

namespace app {

// True exactly when `path` names an existing file that can be opened for
// reading. The path is taken as it stands, of any length; a folder, a device
// or a file without read permission is not found.
bool FileExists(const std::string& path);

} // namespace app
