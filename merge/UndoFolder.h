#pragma once

#include <chrono>
#include <cstddef>
#include <ctime>
#include <filesystem>
#include <string>
#include <vector>

namespace merge {

// The folder where the window keeps an undo file (UndoFile) of every update
// it runs, the newest few of each main database. A file is named so that a
// person sees which database and when, and so that the files of one
// database sort oldest first:
//
//   Varnholt_2026-12-10_16-04-12-345_3fa2c1d0.undo
//
// the main database's file name without its extension, the local time the
// update began, and a tag of the database's whole path (two databases of
// one name in two folders keep their files apart). A file whose update was
// taken back ends in ".undone" instead.
class UndoFolder {
public:
    // The files of one database that are kept, taken back or not.
    static constexpr std::size_t Kept = 10;

    explicit UndoFolder(std::filesystem::path folder);

    const std::filesystem::path& folder() const { return folder_; }

    // The path for a new undo file of the database at `mainPath`, for an
    // update beginning `now`, with the folder made; nothing is at that path.
    // Throws std::filesystem::filesystem_error when the folder cannot be made.
    std::filesystem::path
    newFileFor(const std::string& mainPath,
               std::chrono::system_clock::time_point now = std::chrono::system_clock::now()) const;

    // The undo files of that database whose update was not taken back,
    // newest first.
    std::vector<std::filesystem::path> filesFor(const std::string& mainPath) const;

    // Removes the oldest files of that database, taken back or not, beyond
    // the newest `Kept`, and what a killed run left beside them. A file that
    // cannot be removed is left.
    void prune(const std::string& mainPath) const;

    // Marks a file as one whose update was taken back; returns its new path.
    static std::filesystem::path markUndone(const std::filesystem::path& file);

    // The tag of a database's path in the names of its files.
    static std::string tagOf(const std::string& mainPath);

private:
    std::vector<std::filesystem::path> allFilesFor(const std::string& mainPath) const;

    std::filesystem::path folder_;
};

// The local time of `when`, as the user's clock reads it.
std::tm localTimeOf(std::chrono::system_clock::time_point when);

} // namespace merge
