#include "tests/support/FaultVfs.h"

#include "platform/db/Sqlite.h"

#include <cstring>
#include <mutex>
#include <stdexcept>

namespace testing_support {

namespace {

struct State {
    std::mutex mutex;
    bool armed = false;
    std::string prefix;
    Fault fault;
    IoCounts counts{};
    long failed = 0;
};
State& state() {
    static State* const instance = new State;
    return *instance;
}

int usualCode(IoOp op) {
    switch (op) {
    case IoOp::Open:
        return SQLITE_CANTOPEN;
    case IoOp::Read:
        return SQLITE_IOERR_READ;
    case IoOp::Write:
        return SQLITE_IOERR_WRITE;
    case IoOp::Sync:
        return SQLITE_IOERR_FSYNC;
    case IoOp::Truncate:
        return SQLITE_IOERR_TRUNCATE;
    case IoOp::Lock:
        return SQLITE_IOERR_LOCK;
    case IoOp::Delete:
        return SQLITE_IOERR_DELETE;
    }
    return SQLITE_IOERR;
}

// SQLITE_OK to pass the operation through, else the result it fails with.
int decide(IoOp op, const char* name) {
    State& s = state();
    std::function<void()> action;
    {
        std::lock_guard lock(s.mutex);
        if (!s.armed || !name || std::strncmp(name, s.prefix.c_str(), s.prefix.size()) != 0)
            return SQLITE_OK;
        const long n = ++s.counts[static_cast<std::size_t>(op)];
        const Fault& f = s.fault;
        if (f.nth <= 0 || f.op != op || n < f.nth || (n > f.nth && !f.persistent))
            return SQLITE_OK;
        ++s.failed;
        if (!f.action)
            return f.code ? f.code : usualCode(op);
        if (n > f.nth)
            return SQLITE_OK;
        action = f.action;
    }
    action();
    return SQLITE_OK;
}

// A file of the layer: the default file system's own file lies right
// behind it, in the memory the engine gives for both.
struct File {
    sqlite3_file base;
    sqlite3_file* real;
    const char* name; // the engine keeps it unchanged until the file is closed
};

File& self(sqlite3_file* file) {
    return *reinterpret_cast<File*>(file);
}
sqlite3_file* real(sqlite3_file* file) {
    return self(file).real;
}

int fileClose(sqlite3_file* file) {
    const int rc = real(file)->pMethods->xClose(real(file));
    file->pMethods = nullptr;
    return rc;
}
int fileRead(sqlite3_file* file, void* buffer, int amount, sqlite3_int64 offset) {
    if (const int rc = decide(IoOp::Read, self(file).name))
        return rc;
    return real(file)->pMethods->xRead(real(file), buffer, amount, offset);
}
int fileWrite(sqlite3_file* file, const void* buffer, int amount, sqlite3_int64 offset) {
    if (const int rc = decide(IoOp::Write, self(file).name))
        return rc;
    return real(file)->pMethods->xWrite(real(file), buffer, amount, offset);
}
int fileTruncate(sqlite3_file* file, sqlite3_int64 size) {
    if (const int rc = decide(IoOp::Truncate, self(file).name))
        return rc;
    return real(file)->pMethods->xTruncate(real(file), size);
}
int fileSync(sqlite3_file* file, int flags) {
    if (const int rc = decide(IoOp::Sync, self(file).name))
        return rc;
    return real(file)->pMethods->xSync(real(file), flags);
}
int fileSize(sqlite3_file* file, sqlite3_int64* size) {
    return real(file)->pMethods->xFileSize(real(file), size);
}
int fileLock(sqlite3_file* file, int level) {
    if (const int rc = decide(IoOp::Lock, self(file).name))
        return rc;
    return real(file)->pMethods->xLock(real(file), level);
}
int fileUnlock(sqlite3_file* file, int level) {
    return real(file)->pMethods->xUnlock(real(file), level);
}
int fileCheckReservedLock(sqlite3_file* file, int* out) {
    return real(file)->pMethods->xCheckReservedLock(real(file), out);
}
int fileControl(sqlite3_file* file, int op, void* arg) {
    return real(file)->pMethods->xFileControl(real(file), op, arg);
}
int fileSectorSize(sqlite3_file* file) {
    return real(file)->pMethods->xSectorSize(real(file));
}
int fileDeviceCharacteristics(sqlite3_file* file) {
    return real(file)->pMethods->xDeviceCharacteristics(real(file));
}
int fileShmMap(sqlite3_file* file, int region, int size, int extend, void volatile** out) {
    return real(file)->pMethods->xShmMap(real(file), region, size, extend, out);
}
int fileShmLock(sqlite3_file* file, int offset, int n, int flags) {
    return real(file)->pMethods->xShmLock(real(file), offset, n, flags);
}
void fileShmBarrier(sqlite3_file* file) {
    real(file)->pMethods->xShmBarrier(real(file));
}
int fileShmUnmap(sqlite3_file* file, int deleteFlag) {
    return real(file)->pMethods->xShmUnmap(real(file), deleteFlag);
}
int fileFetch(sqlite3_file* file, sqlite3_int64 offset, int amount, void** out) {
    return real(file)->pMethods->xFetch(real(file), offset, amount, out);
}
int fileUnfetch(sqlite3_file* file, sqlite3_int64 offset, void* page) {
    return real(file)->pMethods->xUnfetch(real(file), offset, page);
}

// The methods of a file, for the version of the real file's methods: the
// engine calls the newer ones only where the version offers them.
const sqlite3_io_methods* methodsFor(int version) {
    static const sqlite3_io_methods all[3] = {
        {1, fileClose, fileRead, fileWrite, fileTruncate, fileSync, fileSize, fileLock, fileUnlock,
         fileCheckReservedLock, fileControl, fileSectorSize, fileDeviceCharacteristics, nullptr,
         nullptr, nullptr, nullptr, nullptr, nullptr},
        {2, fileClose, fileRead, fileWrite, fileTruncate, fileSync, fileSize, fileLock, fileUnlock,
         fileCheckReservedLock, fileControl, fileSectorSize, fileDeviceCharacteristics, fileShmMap,
         fileShmLock, fileShmBarrier, fileShmUnmap, nullptr, nullptr},
        {3, fileClose, fileRead, fileWrite, fileTruncate, fileSync, fileSize, fileLock, fileUnlock,
         fileCheckReservedLock, fileControl, fileSectorSize, fileDeviceCharacteristics, fileShmMap,
         fileShmLock, fileShmBarrier, fileShmUnmap, fileFetch, fileUnfetch},
    };
    return &all[version < 1 ? 0 : version > 3 ? 2 : version - 1];
}

sqlite3_vfs* below(sqlite3_vfs* vfs) {
    return static_cast<sqlite3_vfs*>(vfs->pAppData);
}

int vfsOpen(sqlite3_vfs* vfs, const char* name, sqlite3_file* file, int flags, int* outFlags) {
    File& shim = self(file);
    shim.base.pMethods = nullptr;
    if (const int rc = decide(IoOp::Open, name))
        return rc;
    shim.real = reinterpret_cast<sqlite3_file*>(&shim + 1);
    shim.name = name;
    const int rc = below(vfs)->xOpen(below(vfs), name, shim.real, flags, outFlags);
    if (shim.real->pMethods)
        shim.base.pMethods = methodsFor(shim.real->pMethods->iVersion);
    return rc;
}
int vfsDelete(sqlite3_vfs* vfs, const char* name, int syncDir) {
    if (const int rc = decide(IoOp::Delete, name))
        return rc;
    return below(vfs)->xDelete(below(vfs), name, syncDir);
}
int vfsAccess(sqlite3_vfs* vfs, const char* name, int flags, int* out) {
    return below(vfs)->xAccess(below(vfs), name, flags, out);
}
int vfsFullPathname(sqlite3_vfs* vfs, const char* name, int size, char* out) {
    return below(vfs)->xFullPathname(below(vfs), name, size, out);
}
void* vfsDlOpen(sqlite3_vfs* vfs, const char* name) {
    return below(vfs)->xDlOpen(below(vfs), name);
}
void vfsDlError(sqlite3_vfs* vfs, int size, char* out) {
    below(vfs)->xDlError(below(vfs), size, out);
}
void (*vfsDlSym(sqlite3_vfs* vfs, void* handle, const char* symbol))(void) {
    return below(vfs)->xDlSym(below(vfs), handle, symbol);
}
void vfsDlClose(sqlite3_vfs* vfs, void* handle) {
    below(vfs)->xDlClose(below(vfs), handle);
}
int vfsRandomness(sqlite3_vfs* vfs, int size, char* out) {
    return below(vfs)->xRandomness(below(vfs), size, out);
}
int vfsSleep(sqlite3_vfs* vfs, int microseconds) {
    return below(vfs)->xSleep(below(vfs), microseconds);
}
int vfsCurrentTime(sqlite3_vfs* vfs, double* out) {
    return below(vfs)->xCurrentTime(below(vfs), out);
}
int vfsGetLastError(sqlite3_vfs* vfs, int size, char* out) {
    return below(vfs)->xGetLastError(below(vfs), size, out);
}
int vfsCurrentTimeInt64(sqlite3_vfs* vfs, sqlite3_int64* out) {
    return below(vfs)->xCurrentTimeInt64(below(vfs), out);
}
int vfsSetSystemCall(sqlite3_vfs* vfs, const char* name, sqlite3_syscall_ptr call) {
    return below(vfs)->xSetSystemCall(below(vfs), name, call);
}
sqlite3_syscall_ptr vfsGetSystemCall(sqlite3_vfs* vfs, const char* name) {
    return below(vfs)->xGetSystemCall(below(vfs), name);
}
const char* vfsNextSystemCall(sqlite3_vfs* vfs, const char* name) {
    return below(vfs)->xNextSystemCall(below(vfs), name);
}

} // namespace

const char* nameOf(IoOp op) {
    static const char* const names[IoOpCount] = {"open",     "read", "write", "sync",
                                                 "truncate", "lock", "delete"};
    return names[static_cast<std::size_t>(op)];
}

void FaultVfs::install() {
    static std::once_flag once;
    std::call_once(once, [] {
        sqlite3_vfs* real = sqlite3_vfs_find(nullptr);
        if (!real || real->iVersion < 3)
            throw std::runtime_error("the engine's default file system is not one to wrap");
        static sqlite3_vfs shim{};
        shim.iVersion = 3;
        shim.szOsFile = static_cast<int>(sizeof(File)) + real->szOsFile;
        shim.mxPathname = real->mxPathname;
        shim.zName = "faults";
        shim.pAppData = real;
        shim.xOpen = vfsOpen;
        shim.xDelete = vfsDelete;
        shim.xAccess = vfsAccess;
        shim.xFullPathname = vfsFullPathname;
        shim.xDlOpen = vfsDlOpen;
        shim.xDlError = vfsDlError;
        shim.xDlSym = vfsDlSym;
        shim.xDlClose = vfsDlClose;
        shim.xRandomness = vfsRandomness;
        shim.xSleep = vfsSleep;
        shim.xCurrentTime = vfsCurrentTime;
        shim.xGetLastError = vfsGetLastError;
        shim.xCurrentTimeInt64 = vfsCurrentTimeInt64;
        shim.xSetSystemCall = vfsSetSystemCall;
        shim.xGetSystemCall = vfsGetSystemCall;
        shim.xNextSystemCall = vfsNextSystemCall;
        if (sqlite3_vfs_register(&shim, 1) != SQLITE_OK)
            throw std::runtime_error("the fault layer could not be registered");
    });
}

void FaultVfs::arm(const std::string& prefix, const Fault& fault) {
    State& s = state();
    std::lock_guard lock(s.mutex);
    s.armed = true;
    s.prefix = prefix;
    s.fault = fault;
    s.counts = {};
    s.failed = 0;
}

void FaultVfs::disarm() {
    State& s = state();
    std::lock_guard lock(s.mutex);
    s.armed = false;
}

IoCounts FaultVfs::counts() {
    State& s = state();
    std::lock_guard lock(s.mutex);
    return s.counts;
}

long FaultVfs::failed() {
    State& s = state();
    std::lock_guard lock(s.mutex);
    return s.failed;
}

} // namespace testing_support
