#pragma once

#include "merge/UndoFolder.h"

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace app {

// The folder of the undo files the window keeps: the user's data folder,
// "$XDG_DATA_HOME/varnholt-updater" (by default
// "~/.local/share/varnholt-updater"), on Windows
// "%LOCALAPPDATA%\Varnholt Updater".
merge::UndoFolder undoFolder();

// What a file and the journal or WAL beside it are now, to tell later
// whether any of them changed: existence, size and time of the last change.
struct FileStamp {
    struct One {
        bool exists = false;
        std::uintmax_t size = 0;
        std::int64_t modified = 0;
        friend bool operator==(const One&, const One&) = default;
    };
    std::vector<One> files;
    friend bool operator==(const FileStamp&, const FileStamp&) = default;
};
FileStamp stampOf(const std::string& path);

} // namespace app
