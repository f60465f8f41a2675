#pragma once

#include <signal.h>

namespace vhdb {

// Catches Ctrl+C (SIGINT) and SIGTERM for as long as it lives. The handler
// only notes that a signal came: the merge reads the note before each record
// and stops between two records, so no signal ends the program half-way
// through one, a second Ctrl+C included. A signal that was ignored when the
// guard was made (a job started in the background) stays ignored. The
// handlers found at construction are put back when the guard goes. Guards
// nest: one made while another lives changes nothing, so a signal that the
// outer one noted (before the command line was even read) stays noted.
class TerminalInterrupts {
public:
    TerminalInterrupts();
    ~TerminalInterrupts();
    TerminalInterrupts(const TerminalInterrupts&) = delete;
    TerminalInterrupts& operator=(const TerminalInterrupts&) = delete;

    // Whether SIGINT or SIGTERM came since the outermost guard was made.
    static bool arrived();

private:
    struct sigaction previousInt_ {};
    struct sigaction previousTerm_ {};
};

} // namespace vhdb
