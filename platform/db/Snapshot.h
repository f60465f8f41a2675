#pragma once

#include <filesystem>
#include <string>

namespace db {

// A private copy of a database file, with what a program writing it left
// beside it (its rollback journal, its WAL), in a fresh folder of the
// system's temporary folder that goes, with everything in it, when the
// object goes. The file is copied under the lock the engine's readers take
// (ReadLock), so no program writes it meanwhile; opened on the copy, the
// engine recovers it as it would recover the file.
class Snapshot {
public:
    struct Options {
        std::string folderPrefix = "varnholt-read-"; // the name of the fresh folder
        std::string purpose = "to read it";          // why, for messages
        // The copy keeps the file's name (else "copy.mdb"); and where there
        // is no file to copy, or a folder in its place, the copy is missing
        // too, or a folder; and its folder cannot be written where the file's
        // folder cannot: a program working on the copy meets what it would
        // meet on the file.
        bool mirror = false;
        // How long a program that writes the file is waited on; 0 when the
        // caller holds the read lock already.
        int busyMs = 0;
    };

    // Throws DbError naming `original` when the copy cannot be made (a full
    // temporary folder, a file that cannot be read, a file in use).
    Snapshot(const std::string& original, const Options& options);
    ~Snapshot();
    Snapshot(const Snapshot&) = delete;
    Snapshot& operator=(const Snapshot&) = delete;

    // The copy of the file, and the folder it lies in.
    const std::string& path() const { return path_; }
    const std::filesystem::path& folder() const { return folder_; }

private:
    void copyFiles(const std::string& original);
    void copy(const std::string& from, const std::string& to) const;

    Options options_;
    std::filesystem::path folder_;
    std::string path_;
};

} // namespace db
