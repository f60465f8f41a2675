# Finds SQLCipher and offers it as the one imported target SQLCipher::SQLCipher.
# The target carries SQLITE_HAS_CODEC so that sqlite3_key() is declared; code
# includes <sqlcipher/sqlite3.h> through platform/db/Sqlite.h only, never the
# plain SQLite header that may also be installed.
find_package(PkgConfig QUIET)
if(PkgConfig_FOUND)
  pkg_check_modules(PC_SQLCIPHER QUIET sqlcipher)
endif()

find_path(SQLCipher_INCLUDE_DIR NAMES sqlcipher/sqlite3.h
          HINTS ${PC_SQLCIPHER_INCLUDEDIR} PATH_SUFFIXES include)
find_library(SQLCipher_LIBRARY NAMES sqlcipher HINTS ${PC_SQLCIPHER_LIBDIR})

include(FindPackageHandleStandardArgs)
find_package_handle_standard_args(SQLCipher REQUIRED_VARS SQLCipher_LIBRARY SQLCipher_INCLUDE_DIR)

if(SQLCipher_FOUND AND NOT TARGET SQLCipher::SQLCipher)
  add_library(SQLCipher::SQLCipher UNKNOWN IMPORTED)
  set_target_properties(SQLCipher::SQLCipher PROPERTIES
    IMPORTED_LOCATION "${SQLCipher_LIBRARY}"
    INTERFACE_INCLUDE_DIRECTORIES "${SQLCipher_INCLUDE_DIR}"
    INTERFACE_COMPILE_DEFINITIONS "SQLITE_HAS_CODEC;SQLITE_TEMP_STORE=2")
endif()
mark_as_advanced(SQLCipher_INCLUDE_DIR SQLCipher_LIBRARY)
