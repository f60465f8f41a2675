#include "merge/DryRunCopy.h"

#include "platform/db/Database.h"
#include "platform/db/FileSystem.h"

namespace merge {

namespace {

void replaceAll(std::string& text, const std::string& from, const std::string& to) {
    if (from.empty())
        return;
    for (std::size_t at = text.find(from); at != std::string::npos;
         at = text.find(from, at + to.size()))
        text.replace(at, from.size(), to);
}

db::Snapshot::Options dryRunCopy(const std::string& prefix, const std::string& purpose) {
    db::Snapshot::Options options;
    options.folderPrefix = prefix;
    options.purpose = purpose;
    options.mirror = true;
    options.busyMs = db::Database::DefaultBusyTimeoutMs;
    return options;
}

} // namespace

DryRunCopy::DryRunCopy(std::string mainPath, const std::string& prefix, const std::string& purpose)
    : mainPath_(std::move(mainPath)), copy_(mainPath_, dryRunCopy(prefix, purpose)) {}

std::string DryRunCopy::asMain(std::string text) const {
    replaceAll(text, copy_.path(), mainPath_);
    replaceAll(text, copy_.folder().string(), db::folderOf(mainPath_));
    return text;
}

} // namespace merge
