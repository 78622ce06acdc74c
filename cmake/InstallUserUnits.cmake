# Runs at install time, when CMAKE_INSTALL_PREFIX is the prefix given to
# `cmake --install --prefix`: writes the systemd user units for that prefix
# where `systemctl --user` looks for them. The system-wide prefixes have
# lib/systemd/user in its fixed search path; any other prefix, such as
# ~/.local, is found as $XDG_DATA_HOME/systemd/user (share/systemd/user).
set(prefix "${CMAKE_INSTALL_PREFIX}")
string(REGEX REPLACE "/+$" "" prefix "${prefix}")
if(prefix STREQUAL "/usr/local" OR prefix STREQUAL "/usr")
  set(unit_dir "${prefix}/lib/systemd/user")
else()
  set(unit_dir "${prefix}/share/systemd/user")
endif()
set(FETCHER_BIN_DIR "${prefix}/bin")
set(FETCHER_DOC_DIR "${prefix}/share/doc/wallpaper-fetcher")
configure_file("${FETCHER_UNITS_SOURCE}/wallpaper-fetcher.service.in"
               "${FETCHER_UNITS_BINARY}/wallpaper-fetcher.service" @ONLY)
file(INSTALL "${FETCHER_UNITS_BINARY}/wallpaper-fetcher.service"
             "${FETCHER_UNITS_SOURCE}/wallpaper-fetcher.timer"
     DESTINATION "${unit_dir}" FILE_PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
