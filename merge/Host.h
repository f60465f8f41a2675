#pragma once

#include "platform/db/Waiting.h"

#include <string>

namespace merge {

struct TableDef;

// What a merge shows while it runs, and where it gives way: the progress bar
// and status line, a repaint, a yield to pending events and the abort flag
// that "Cancel" (or Ctrl+C) raises. The progress window implements it with
// Qt, `vhdb merge` on a terminal; the merges know nothing of either. What
// the merges share (the connections, the password, the counts) is the
// Merger's.
// The status line while the engine waits.
inline std::string waitStatus(db::WaitReason why) {
    return why == db::WaitReason::CheckingFile ? "Checking the database\u2026"
                                               : "Waiting for another program\u2026";
}

class Host {
public:
    virtual ~Host() = default;

    virtual void setProgressMin(float value) = 0;
    virtual void setProgressMax(float value) = 0;
    virtual void setProgressValue(float value) = 0;
    virtual void setStatusText(const std::string& text) = 0;

    // Draws what changed so far before it returns.
    virtual void repaint() = 0;
    // Handles every pending event; "Cancel" is answered in here.
    virtual void yield() = 0;
    // The window's AbortRequested.
    virtual bool abortRequested() const = 0;

    // Called a few times a second while the engine waits, before the first
    // record: for another program to let go of a file, or while it checks
    // the main database. Shows what it waits for (waitStatus) and answers
    // pending events as a yield does (a host without events only
    // looks at the abort flag); false gives the wait up (the user
    // cancelled), and nothing is written then.
    virtual bool whileWaiting(db::WaitReason why) {
        (void)why;
        return !abortRequested();
    }

    // Around each table's merge, however it ends: the window loads and marks
    // itself as busy, a terminal names the table on its bar and ends the
    // bar's line.
    virtual void mergeStarted(const TableDef&) {}
    virtual void mergeEnded() {}
};

} // namespace merge
