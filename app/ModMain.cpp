#include "app/ModMain.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace app {

bool FileExists(const std::string& path) {
    // A name with a NUL in it would stop short and name another file.
    if (path.empty() || path.find('\0') != std::string::npos)
        return false;
    // Opened without blocking, so a named pipe cannot hold the program up;
    // the type is checked on what was opened, not on the name a second time.
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0)
        return false;
    struct stat info {};
    const bool file = ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode);
    ::close(fd);
    return file;
}

bool SameFile(const std::string& first, const std::string& second) {
    struct stat a {
    }, b{};
    return ::stat(first.c_str(), &a) == 0 && ::stat(second.c_str(), &b) == 0 &&
           a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

} // namespace app
