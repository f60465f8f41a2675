#include "tools/vhdb/TerminalBar.h"

#include <algorithm>
#include <fmt/format.h>
#include <ostream>

namespace vhdb {

namespace {

constexpr auto redrawInterval = std::chrono::milliseconds(100);
constexpr std::int64_t barWidth = 30;

std::int64_t perSecond(std::int64_t done, std::chrono::steady_clock::duration elapsed) {
    const double seconds = std::chrono::duration<double>(elapsed).count();
    return seconds > 0 ? static_cast<std::int64_t>(static_cast<double>(done) / seconds + 0.5) : 0;
}

} // namespace

TerminalBar::TerminalBar(std::ostream& out, Clock now) : out_(out), now_(std::move(now)) {}

void TerminalBar::start(std::string_view table, std::int64_t total) {
    breakLine();
    started_ = true;
    table_ = table;
    total_ = std::max<std::int64_t>(total, 0);
    done_ = 0;
    start_ = drawn_ = now_();
}

void TerminalBar::update(std::int64_t done) {
    if (!started_)
        return;
    done_ = std::clamp<std::int64_t>(done, 0, total_);
    if (now_() - drawn_ >= redrawInterval)
        draw();
}

void TerminalBar::breakLine() {
    if (lineOpen_)
        out_ << '\n';
    lineOpen_ = false;
    width_ = 0;
}

void TerminalBar::finish() {
    if (!started_)
        return;
    draw();
    breakLine();
    started_ = false;
}

void TerminalBar::draw() {
    drawn_ = now_();
    const std::int64_t filled = total_ > 0 ? done_ * barWidth / total_ : barWidth;
    std::string line = fmt::format("\r{:<10} [{}{}] {:>7}/{} {:>7} records/s", table_,
                                   std::string(static_cast<std::size_t>(filled), '#'),
                                   std::string(static_cast<std::size_t>(barWidth - filled), '-'),
                                   done_, total_, perSecond(done_, drawn_ - start_));
    const std::size_t width = line.size();
    line.resize(std::max(width, width_), ' ');
    width_ = width;
    out_ << line << std::flush;
    lineOpen_ = true;
}

} // namespace vhdb
