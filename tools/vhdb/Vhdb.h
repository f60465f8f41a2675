#pragma once

#include <iosfwd>

namespace vhdb {

// The whole vhdb program short of main(): parses the command line, runs the
// chosen command and returns the exit code — 0 success, 1 failure (reported
// on `err`), 2 a command line that cannot be understood. Throws nothing.
int run(int argc, const char* const* argv, std::ostream& out, std::ostream& err);

} // namespace vhdb
