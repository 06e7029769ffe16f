# The Debian package of an installed Quorvane, made by CPack's DEB generator from the install
# rules (scripts/package): quorvane_<version>_<architecture>.deb.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME quorvane)
set(CPACK_PACKAGE_VENDOR Zembrill)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "registry cleaner and startup manager for Wine prefixes")
set(CPACK_PACKAGE_DESCRIPTION
  "Quorvane cleans the Windows registry of a Wine prefix. It reads and writes
the prefix's registry files and drives directly, without running Wine, finds
entries that point at programs, files and libraries that no longer exist,
backs them up in the registry editor's format and deletes the ones chosen.
It also switches the programs that start with the prefix off and on, and
makes and restores backups and restore points.
.
The package holds the window (quorvane), the same work on the command line
(quorvane-cli) and a registry editor for prefixes (quorvane-regedit).")
set(CPACK_PACKAGE_CONTACT "Zembrill <quorvane@zembrill.example.com>")
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${CPACK_PACKAGE_CONTACT}")
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://zembrill.example.com/quorvane/")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_STRIP_FILES ON)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

# The libraries the programs link come from dpkg-shlibdeps where it is installed (with the
# versions the build saw); the SVG loader is no linked library, so it is named either way.
find_program(QV_DPKG_SHLIBDEPS dpkg-shlibdeps)
if(QV_DPKG_SHLIBDEPS)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  set(CPACK_DEBIAN_PACKAGE_DEPENDS "librsvg2-common")
else()
  set(CPACK_DEBIAN_PACKAGE_DEPENDS "libwxgtk3.2-1, libcurl4, liblnk1, libarchive13, libyaml-cpp0.7, libsqlite3-0, librsvg2-common, libstdc++6, libc6")
endif()
# Wine runs the prefix's programs, xdg-open shows the help and the web pages.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "wine, xdg-utils")

include(CPack)
