#pragma once

#include <cstdint>
#include <string>

namespace db {
class Data;
}

namespace merge {

struct TableDef;

// The merges' own counters, one per table, kept by the host.
enum class Counter { Lodges, Issues, Activities, Values };

// What a merge needs from the window it runs behind: the two data
// connections, the progress bar and status line, a repaint, a yield to
// pending events, the abort flag, the password and the counters. The progress
// window implements it with Qt, `vhdb merge` on a terminal; the merges know
// nothing of either.
class Host {
public:
    virtual ~Host() = default;

    // The main database (the target) and the update database (the source).
    virtual db::Data& Data1() = 0;
    virtual db::Data& Data2() = 0;

    virtual void setProgressMin(float value) = 0;
    virtual void setProgressMax(float value) = 0;
    virtual void setProgressValue(float value) = 0;
    virtual void setStatusText(const std::string& text) = 0;

    // Draws what changed so far before it returns.
    virtual void repaint() = 0;
    // Handles every pending event; "Cancel" is answered in here.
    virtual void yield() = 0;

    // The window's AbortRequested and DBPassword.
    virtual bool abortRequested() const = 0;
    virtual std::string password() const = 0;
    virtual std::int32_t& count(Counter counter) = 0;

    // Around each table's merge, however it ends: the window marks itself as
    // busy, a terminal names the table on its bar and ends the bar's line.
    virtual void mergeStarted(const TableDef&) {}
    virtual void mergeEnded() {}
};

} // namespace merge
