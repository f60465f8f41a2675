#include "platform/db/Waiting.h"

#include "platform/db/Sqlite.h"

#include <chrono>
#include <cstdint>
#include <thread>
#include <utility>

using std::chrono::milliseconds;
using std::chrono::steady_clock;

namespace db {

namespace {

// How often a waiting engine sleeps and asks the hook.
constexpr milliseconds Pause(20);

thread_local WhileWaiting::Hook hook;
thread_local bool givenUp = false;
thread_local milliseconds checkAfter(150);
thread_local int calls = 0;
thread_local steady_clock::time_point waitStarted;

int busyHandler(void* budget, int tries) {
    if (tries == 0)
        waitStarted = steady_clock::now();
    const auto budgetMs = milliseconds(reinterpret_cast<std::intptr_t>(budget));
    if (steady_clock::now() - waitStarted >= budgetMs || !keepWaiting(WaitReason::FileInUse))
        return 0;
    std::this_thread::sleep_for(Pause);
    return 1;
}

} // namespace

WhileWaiting::WhileWaiting(Hook waiting, milliseconds askAfter)
    : previous_(std::exchange(hook, std::move(waiting))), previousCancelled_(givenUp),
      previousCheckAfter_(std::exchange(checkAfter, askAfter)) {
    givenUp = false;
}

WhileWaiting::~WhileWaiting() {
    hook = std::move(previous_);
    givenUp = previousCancelled_;
    checkAfter = previousCheckAfter_;
}

milliseconds checkAskedAfter() {
    return checkAfter;
}

bool keepWaiting(WaitReason reason) {
    if (givenUp)
        return false;
    if (!hook)
        return true;
    ++calls;
    const bool keep = hook(reason);
    --calls;
    if (!keep)
        givenUp = true;
    return keep;
}

bool waitGivenUp() {
    return givenUp;
}

bool insideWait() {
    return calls > 0;
}

Cancelled::Cancelled() : DbError("The update was cancelled while it waited.", SQLITE_INTERRUPT) {}

void setBusyWait(sqlite3* handle, int budgetMs) {
    if (budgetMs <= 0) {
        sqlite3_busy_handler(handle, nullptr, nullptr);
        return;
    }
    sqlite3_busy_handler(handle, busyHandler,
                         reinterpret_cast<void*>(static_cast<std::intptr_t>(budgetMs)));
}

} // namespace db
