#include "tools/vhdb/ChangesReport.h"

#include "tools/vhdb/Command.h"

#include <cerrno>
#include <cstring>
#include <fmt/format.h>

namespace vhdb {

namespace {

// The reason a stream's last operation failed: errno is cleared before it,
// so a failure that set none is not blamed on an earlier one.
std::string failureOf(int err) {
    return err ? std::strerror(err) : "the system gave no reason";
}

} // namespace

std::vector<CsvCell> ChangesReport::header() {
    return merge::changesHeader();
}

ChangesReport::ChangesReport(std::string path)
    : path_(std::move(path)),
      recorder_([this](const merge::Change& change) { writeRow(merge::csvRowOf(change)); }) {
    errno = 0;
    out_.open(path_, std::ios::binary | std::ios::trunc);
    if (!out_)
        throw Failure(
            fmt::format("Cannot write the changes report \"{}\" ({}).", path_, failureOf(errno)));
    writeRow(header());
}

void ChangesReport::aboutToWrite(const merge::RecordWrite& write) {
    recorder_.aboutToWrite(write);
}

void ChangesReport::written(const merge::RecordWrite& write, std::int64_t rowid) {
    recorder_.written(write, rowid);
}

void ChangesReport::writeRow(const std::vector<CsvCell>& cells) {
    errno = 0;
    writeCsvRow(out_, cells);
    out_.flush();
    if (!out_)
        throw Failure(
            fmt::format("Cannot write the changes report \"{}\" ({}).", path_, failureOf(errno)));
}

void ChangesReport::finish() {
    recorder_.finish();
    if (!out_.is_open())
        return;
    errno = 0;
    out_.close();
    if (!out_)
        throw Failure(
            fmt::format("Cannot write the changes report \"{}\" ({}).", path_, failureOf(errno)));
}

} // namespace vhdb
