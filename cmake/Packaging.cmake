# The Debian package, made by CPack (`cpack -G DEB` in a build tree, or
# scripts/package). The programs' runtime dependencies are derived from the
# libraries they link (dpkg-shlibdeps), not listed by hand.

# A Debian package's own documents: its copyright and, as it is a package
# of its own source, its changelog, compressed as Debian ships it.
execute_process(
  COMMAND date --utc --rfc-email --date ${VH_RELEASE_DATE}
  OUTPUT_VARIABLE changelog_date OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)
configure_file(cmake/debian/changelog.in debian/changelog @ONLY)
add_custom_command(
  OUTPUT debian/changelog.gz
  COMMAND gzip -9 -n -f -k debian/changelog
  DEPENDS ${PROJECT_BINARY_DIR}/debian/changelog
  VERBATIM)
add_custom_target(package_changelog ALL DEPENDS debian/changelog.gz)
install(FILES cmake/debian/copyright ${PROJECT_BINARY_DIR}/debian/changelog.gz
        DESTINATION ${CMAKE_INSTALL_DOCDIR})

set(CPACK_GENERATOR DEB)
set(CPACK_VERBATIM_VARIABLES ON)
set(CPACK_PACKAGE_NAME varnholt-updater)
set(CPACK_PACKAGE_VENDOR "Varnholt Updater developers")
set(CPACK_PACKAGE_CONTACT "${VH_MAINTAINER}")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_DIRECTORY ${PROJECT_BINARY_DIR}/packages)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION database)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The project's description is the package's one-line synopsis; this follows it.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "\
Varnholt Updater brings a collector's Varnholt 2000 database up to date
from an update file handed out by the publisher: the user names the two
files, presses \"Update\", watches a progress window and reads one summary.
Four tables are merged one after the other; a missing record is added, a
found one is overwritten only when the update's date stamp falls on a later
calendar day. The update file is only read, and every record written is
saved at once.

vhdb, the command-line companion, creates, fills, exports, checks and merges
the same SQLCipher files for the people who publish and script them; it
previews an update, lists every record it changes, and takes it back.")

include(CPack)
