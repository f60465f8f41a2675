#include "tools/vhdb/TerminalInterrupts.h"

#include <csignal>

namespace vhdb {

namespace {

volatile std::sig_atomic_t interrupted = 0;
int guards = 0; // the guards alive; only the outermost one acts

void noteInterrupt(int) {
    interrupted = 1;
}

void catchSignal(int signal, struct sigaction& previous) {
    struct sigaction action {};
    action.sa_handler = noteInterrupt;
    sigemptyset(&action.sa_mask);
    // A read or write of the database that the signal cut short goes on.
    action.sa_flags = SA_RESTART;
    sigaction(signal, &action, &previous);
    if (previous.sa_handler == SIG_IGN)
        sigaction(signal, &previous, nullptr);
}

} // namespace

TerminalInterrupts::TerminalInterrupts() {
    if (guards++ > 0)
        return;
    interrupted = 0;
    catchSignal(SIGINT, previousInt_);
    catchSignal(SIGTERM, previousTerm_);
}

TerminalInterrupts::~TerminalInterrupts() {
    if (--guards > 0)
        return;
    sigaction(SIGTERM, &previousTerm_, nullptr);
    sigaction(SIGINT, &previousInt_, nullptr);
}

bool TerminalInterrupts::arrived() {
    return interrupted != 0;
}

} // namespace vhdb
