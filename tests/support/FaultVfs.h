#pragma once

#include <array>
#include <cstddef>
#include <functional>
#include <string>

namespace testing_support {

// The I/O operations the engine asks of its files, as the fault layer counts
// them.
enum class IoOp { Open, Read, Write, Sync, Truncate, Lock, Delete };
inline constexpr std::size_t IoOpCount = 7;
const char* nameOf(IoOp op);

using IoCounts = std::array<long, IoOpCount>;

// Which operation fails: the `nth` (from 1) of kind `op` on the files whose
// path starts with `prefix` (a database and the files the engine keeps
// beside it), once or, when `persistent`, that one and every later one of
// its kind. `code` is the engine's result the operation returns; 0 picks
// the usual one for the kind (SQLITE_IOERR_READ for a read, ...).
// With `action` set, the operation does not fail: `action` runs right
// before it, once (a signal raised at that moment, say).
struct Fault {
    IoOp op = IoOp::Read;
    long nth = 0;
    bool persistent = false;
    int code = 0;
    std::function<void()> action;
};

// A layer under the engine, over its default file system, that counts the
// I/O operations on one set of files and makes one of them fail. Installed
// once per process as the engine's default; it passes everything through
// while nothing is armed. Every connection opened after installing goes
// through it, whichever file it opens.
class FaultVfs {
public:
    static void install();

    // Counts operations on the files under `prefix` from now on, with no
    // fault (fault.nth == 0) or with `fault`.
    static void arm(const std::string& prefix, const Fault& fault = {});
    // Stops counting and failing.
    static void disarm();

    // What was counted since arm().
    static IoCounts counts();
    // How many operations the armed fault made fail (or ran its action).
    static long failed();
};

// While it lives, the layer counts and fails as armed; it is disarmed
// however the scope ends.
class ArmedFault {
public:
    ArmedFault(const std::string& prefix, const Fault& fault) { FaultVfs::arm(prefix, fault); }
    ~ArmedFault() { FaultVfs::disarm(); }
    ArmedFault(const ArmedFault&) = delete;
    ArmedFault& operator=(const ArmedFault&) = delete;
};

} // namespace testing_support
