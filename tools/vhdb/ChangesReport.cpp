#include "tools/vhdb/ChangesReport.h"

#include "tools/vhdb/Command.h"

#include <cerrno>
#include <cstring>
#include <fmt/format.h>

namespace vhdb {

std::vector<CsvCell> ChangesReport::header() {
    return merge::changesHeader();
}

ChangesReport::ChangesReport(std::string path)
    : path_(std::move(path)), out_(path_, std::ios::binary | std::ios::trunc),
      recorder_([this](const merge::Change& change) { writeRow(merge::csvRowOf(change)); }) {
    if (!out_)
        throw Failure(fmt::format("Cannot write the changes report \"{}\" ({}).", path_,
                                  std::strerror(errno)));
    writeRow(header());
}

void ChangesReport::aboutToWrite(const merge::RecordWrite& write) {
    recorder_.aboutToWrite(write);
}

void ChangesReport::written(const merge::RecordWrite& write, std::int64_t rowid) {
    recorder_.written(write, rowid);
}

void ChangesReport::writeRow(const std::vector<CsvCell>& cells) {
    writeCsvRow(out_, cells);
    out_.flush();
    if (!out_)
        throw Failure(fmt::format("Cannot write the changes report \"{}\" ({}).", path_,
                                  std::strerror(errno)));
}

void ChangesReport::finish() {
    recorder_.finish();
    if (!out_.is_open())
        return;
    out_.close();
    if (!out_)
        throw Failure(fmt::format("Cannot write the changes report \"{}\" ({}).", path_,
                                  std::strerror(errno)));
}

} // namespace vhdb
