#pragma once

#include "platform/db/DbError.h"

#include <chrono>
#include <functional>
#include <string>

struct sqlite3;

namespace db {

// What the engine waits for: another program that holds a file, or the
// check of a whole file before the first write.
enum class WaitReason { FileInUse, CheckingFile };

// A long wait inside the engine does not hold the program up: while one of
// these lives, every wait of this thread (for another program's lock, or
// while a file is checked) calls `waiting` a few times a second, with what it
// waits for. The window shows it and answers its events there; `waiting`
// returns false to give up, and the wait then ends in Cancelled. A check is
// asked about once it has taken `checkAfter`: a small file's check is over
// before anyone could see it.
class WhileWaiting {
public:
    using Hook = std::function<bool(WaitReason)>;
    explicit WhileWaiting(Hook waiting,
                          std::chrono::milliseconds checkAfter = std::chrono::milliseconds(150));
    ~WhileWaiting();
    WhileWaiting(const WhileWaiting&) = delete;
    WhileWaiting& operator=(const WhileWaiting&) = delete;

private:
    Hook previous_;
    bool previousCancelled_;
    std::chrono::milliseconds previousCheckAfter_;
};

// How long a check runs before the hook hears of it.
std::chrono::milliseconds checkAskedAfter();

// Called by a wait from time to time: false once the hook gave up, and from
// then on for as long as the hook is installed.
bool keepWaiting(WaitReason reason);
// Whether a hook gave up the wait in hand.
bool waitGivenUp();
// Whether the program is inside a hook's call right now: what the hook's
// events do must not close a connection that is waiting.
bool insideWait();

// A wait the user gave up: nothing was written after it began.
class Cancelled : public DbError {
public:
    Cancelled();
};

// Waits for another program's lock on `handle` for up to `budgetMs`, as the
// engine's own busy timeout does, but calling keepWaiting() meanwhile.
void setBusyWait(sqlite3* handle, int budgetMs);

} // namespace db
