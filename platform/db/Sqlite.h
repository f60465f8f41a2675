#pragma once

// The one place that includes the engine's header: SQLCipher's sqlite3.h,
// never a plain SQLite one that may also be installed.
#include <sqlcipher/sqlite3.h>
