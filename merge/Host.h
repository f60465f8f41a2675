#pragma once

#include <string>

namespace merge {

struct TableDef;

// What a merge shows while it runs, and where it gives way: the progress bar
// and status line, a repaint, a yield to pending events and the abort flag
// that "Cancel" (or Ctrl+C) raises. The progress window implements it with
// Qt, `vhdb merge` on a terminal; the merges know nothing of either. What
// the merges share (the connections, the password, the counts) is the
// Merger's.
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

    // Around each table's merge, however it ends: the window loads and marks
    // itself as busy, a terminal names the table on its bar and ends the
    // bar's line.
    virtual void mergeStarted(const TableDef&) {}
    virtual void mergeEnded() {}
};

} // namespace merge
