#include "app/UndoFiles.h"

#include "platform/db/SideFiles.h"

#include <QDir>
#include <QStandardPaths>
#include <system_error>

namespace fs = std::filesystem;

namespace app {

merge::UndoFolder undoFolder() {
#ifdef _WIN32
    const QString name = QStringLiteral("Varnholt Updater");
#else
    const QString name = QStringLiteral("varnholt-updater");
#endif
    const QString data = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    return merge::UndoFolder(fs::path(QDir(data).filePath(name).toStdString()));
}

FileStamp stampOf(const std::string& path) {
    FileStamp stamp;
    std::vector<std::string> files{path};
    for (const std::string& side : db::recoveryFilesOf(path))
        files.push_back(side);
    for (const std::string& file : files) {
        FileStamp::One one;
        std::error_code ec;
        const auto status = fs::status(file, ec);
        one.exists = !ec && fs::exists(status);
        if (one.exists) {
            one.size = fs::is_regular_file(status) ? fs::file_size(file, ec) : 0;
            one.modified =
                static_cast<std::int64_t>(fs::last_write_time(file, ec).time_since_epoch().count());
        }
        stamp.files.push_back(one);
    }
    return stamp;
}

} // namespace app
