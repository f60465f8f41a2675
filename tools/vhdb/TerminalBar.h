#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <iosfwd>
#include <string>
#include <string_view>

namespace vhdb {

// The progress bar of one table's merge on a terminal: one line, drawn over
// in place (\r), with the table, a bar, the records walked of all, and the
// records per second so far. A bar drawn for every record would cost the
// merge more than the records themselves, so a value that comes sooner than a
// tenth of a second after the last drawing is only kept for the next one.
class TerminalBar {
public:
    using Clock = std::function<std::chrono::steady_clock::time_point()>;

    explicit TerminalBar(std::ostream& out, Clock now = &std::chrono::steady_clock::now);

    // A new table of `total` records, none walked yet; nothing is drawn.
    void start(std::string_view table, std::int64_t total);
    // `done` records walked; drawn when the last drawing is old enough.
    void update(std::int64_t done);
    // Ends a drawn line so that other text can follow on a line of its own;
    // the next drawing starts a new line.
    void breakLine();
    // Draws the last value and ends the line; nothing when no table started.
    void finish();

private:
    void draw();

    std::ostream& out_;
    Clock now_;
    bool started_ = false;
    bool lineOpen_ = false;
    std::string table_;
    std::int64_t total_ = 0;
    std::int64_t done_ = 0;
    std::chrono::steady_clock::time_point start_;
    std::chrono::steady_clock::time_point drawn_;
    std::size_t width_ = 0; // of the line now shown, to blank what a shorter one leaves
};

} // namespace vhdb
