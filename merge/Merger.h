#pragma once

#include "merge/ChangeLog.h"
#include "merge/Counts.h"
#include "platform/db/Data.h"

#include <cstdint>
#include <optional>
#include <string>

namespace merge {

class Host;

// The four table merges of an update, and what they share: the two data
// connections (Data1 the main database, the target; Data2 the update, the
// source), the password and one count per merge. Each merge shows its
// progress through `host`. The progress window is one (its merges are these
// functions), `vhdb merge` holds one; closing the connections (as unloading
// the window does) gives both back their first settings.
class Merger {
public:
    explicit Merger(Host& host);
    virtual ~Merger();
    Merger(const Merger&) = delete;
    Merger& operator=(const Merger&) = delete;

    std::string DBPassword;
    Counts counts;

    // Each merge returns the number of records it wrote, or 0 when its
    // source was empty or the user cancelled (the count keeps what was saved).
    std::int32_t LodgeUpdate(const std::string& DBLocation, const std::string& UPDLocation);
    std::int32_t IssueUpdate(const std::string& DBLocation, const std::string& UPDLocation);
    std::int32_t ActivityUpdate(const std::string& DBLocation, const std::string& UPDLocation);
    // The last merge: at its normal end it also closes the update database.
    std::int32_t ValuesUpdate(const std::string& DBLocation, const std::string& UPDLocation);

    // The connections. The progress window loads itself first when it is
    // not, as it does for any of its controls.
    virtual db::Data& Data1() { return data1_; }
    virtual db::Data& Data2() { return data2_; }
    Host& host() { return host_; }

    // Told of every record the merges write, while set; nullptr for none.
    ChangeLog* changeLog() const { return changes_; }
    void setChangeLog(ChangeLog* changes) { changes_ = changes; }

    // Closes both databases and gives the connections their first settings.
    // What kept the main database from being put back as it was found (its
    // journal mode, Database::Close()) is kept for closingProblem().
    void closeConnections();
    // What closing the main database left undone since the last call; taken
    // by the call.
    std::optional<db::DbError> takeClosingProblem();

private:
    Host& host_;
    db::Data data1_{"Data1"};
    db::Data data2_{"Data2"};
    ChangeLog* changes_ = nullptr;
    std::optional<db::DbError> closingProblem_;
};

} // namespace merge
