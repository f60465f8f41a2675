#include "platform/ui/RuntimeFolder.h"

#include <QDir>
#include <QFile>
#include <cerrno>
#include <cstdlib>
#include <pwd.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace ui {

namespace {

// The name Qt gives the folder it falls back to.
std::string userName() {
    if (const passwd* entry = getpwuid(geteuid()))
        return entry->pw_name;
    return std::to_string(geteuid());
}

bool isPrivateFolder(const std::string& path) {
    struct stat info {};
    if (lstat(path.c_str(), &info) != 0 || !S_ISDIR(info.st_mode) || info.st_uid != geteuid())
        return false;
    return (info.st_mode & 07777) == S_IRWXU || chmod(path.c_str(), S_IRWXU) == 0;
}

} // namespace

bool prepareRuntimeFolder() {
    if (!qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR"))
        return true;
    const std::string folder =
        QFile::encodeName(QDir::tempPath()).toStdString() + "/runtime-" + userName();
    if (mkdir(folder.c_str(), S_IRWXU) != 0 && errno != EEXIST)
        return false;
    if (!isPrivateFolder(folder))
        return false;
    return setenv("XDG_RUNTIME_DIR", folder.c_str(), 1) == 0;
}

} // namespace ui
