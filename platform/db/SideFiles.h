#pragma once

#include <string>
#include <vector>

namespace db {

// The files that may lie beside a database file: the three the engine keeps
// (a rollback journal, or in WAL mode the write-ahead log and its index) and
// the one this program keeps while it has switched the file to WAL mode.
// Every name of such a file is made here.
std::string rollbackJournalOf(const std::string& database);
std::string walOf(const std::string& database);
std::string walIndexOf(const std::string& database);
// The journal mode the file had before this program switched it to WAL,
// kept from right before the switch until the mode is back.
std::string journalMarkerOf(const std::string& database);

// The two the engine reads part of a database from, when a program that
// was writing it left them behind: the rollback journal and the WAL.
std::vector<std::string> recoveryFilesOf(const std::string& database);
// All four.
std::vector<std::string> sideFilesOf(const std::string& database);

} // namespace db
