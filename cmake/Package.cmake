# The Debian package, made by CPack's DEB generator from the same install
# rules as `cmake --install` (scripts/package-deb.sh runs it): the program in
# /usr/bin, its manual page, its documentation with the Debian copyright and
# changelog files, and the systemd user units in /usr/lib/systemd/user.

# The Debian revision and the date come from the newest entry of
# doc/changelog.Debian, which must be for this version of the program.
set(FETCHER_DEB_CHANGELOG ${CMAKE_SOURCE_DIR}/doc/changelog.Debian)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${FETCHER_DEB_CHANGELOG})
file(STRINGS ${FETCHER_DEB_CHANGELOG} newest LIMIT_COUNT 1)
if(NOT newest MATCHES "^wallpaper-fetcher \\(([^-]+)-([^)]+)\\) ")
  message(FATAL_ERROR "doc/changelog.Debian: the first line does not name a version: ${newest}")
endif()
if(NOT CMAKE_MATCH_1 STREQUAL PROJECT_VERSION)
  message(FATAL_ERROR "doc/changelog.Debian's newest entry is for ${CMAKE_MATCH_1}, the program is "
                      "${PROJECT_VERSION}: add an entry for it")
endif()
set(CPACK_DEBIAN_PACKAGE_RELEASE ${CMAKE_MATCH_2})
execute_process(COMMAND gzip -9nc ${FETCHER_DEB_CHANGELOG}
                OUTPUT_FILE ${CMAKE_BINARY_DIR}/doc/changelog.Debian.gz COMMAND_ERROR_IS_FATAL ANY)
# Only in the package: `cmake --install` leaves them out.
install(FILES doc/copyright ${CMAKE_BINARY_DIR}/doc/changelog.Debian.gz
        DESTINATION share/doc/wallpaper-fetcher COMPONENT debian EXCLUDE_FROM_ALL)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME wallpaper-fetcher)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_PACKAGE_CONTACT "wallpaper-fetcher maintainers <maintainers@users.noreply.c-seed-c46b0eb1.example>")
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "fetch a new desktop wallpaper from web sites you describe
Each start reads Sites.ini, picks one of the web sites described there,
follows the site's chain of regular-expression steps from page to page to a
picture, converts it to a bitmap and installs it as the desktop wallpaper
(GNOME, KDE Plasma, Xfce, Cinnamon, MATE, LXDE/LXQt, sway and other wlroots
compositors, or any X display). It remembers the pictures it took, so that
the same one is not taken again soon.
.
A systemd user timer runs it every hour once enabled; wallpaper-fetcher
--init writes a starter configuration and --check tells which step of which
site no longer matches its page.")

# Installed as /usr, staged under DESTDIR, so that the user units name
# /usr/bin/wallpaper-fetcher.
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_INSTALL_PREFIX /usr)
set(CPACK_SET_DESTDIR ON)
set(CPACK_INSTALL_CMAKE_PROJECTS "${CMAKE_BINARY_DIR};${PROJECT_NAME};ALL;/"
                                 "${CMAKE_BINARY_DIR};${PROJECT_NAME};debian;/")
set(CPACK_STRIP_FILES ON)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ
                                                GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)

# Depends: what the program is linked with, as dpkg-shlibdeps finds it, and
# FreeImage, which the decoder loads with dlopen (as libfreeimage.so.3, see
# platform/freeimage/freeimage_library_posix.cpp) and dpkg-shlibdeps cannot see: its
# dependency is the one the shlibs file of the package holding that library
# on this machine gives.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "")
execute_process(COMMAND dpkg-query -S "*/libfreeimage.so.3" OUTPUT_VARIABLE owners ERROR_QUIET)
if(owners MATCHES "^([^:, ]+)")
  execute_process(COMMAND dpkg-query --control-show ${CMAKE_MATCH_1} shlibs OUTPUT_VARIABLE shlibs
                  ERROR_QUIET)
  if(shlibs MATCHES "(^|\n)libfreeimage 3 ([^\n]+)")
    set(CPACK_DEBIAN_PACKAGE_DEPENDS "${CMAKE_MATCH_2}")
  endif()
endif()
# Recommends: a dialog program for the fatal-error box (without one it is a
# line on standard error, which a timer's run shows nobody). Suggests: the
# tools through which each desktop takes its wallpaper; a desktop that is
# installed brings its own.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "zenity | kdialog")
set(CPACK_DEBIAN_PACKAGE_SUGGESTS
    "libglib2.0-bin, xfconf, pcmanfm | pcmanfm-qt, plasma-workspace, sway, swaybg")

include(CPack)
