#pragma once

#include <string>

namespace db {

// Reads the password from a connect text: "MS Access;PWD=<password>;"
// (the password runs to the final ";", so it may hold any character), or
// "MS Access;", "Access" or "" for a file without a password. The type word
// ignores letter case. Anything else is a DbError that quotes the text.
std::string passwordFromConnect(const std::string& connect);

} // namespace db
