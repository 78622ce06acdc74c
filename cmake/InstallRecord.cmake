# What `cmake --install` put in place, kept so that
# `cmake --build BUILD --target uninstall` (cmake/Uninstall.cmake) can take it
# back: one record per install root ($DESTDIR and prefix) in
# BUILD/install-records/, holding the files installed there and the folders
# the install created. CMake's own install_manifest.txt knows only the last
# install from the build folder and no folders.
#
# fetcher_install_record_begin(DIR...) goes before the first install rule:
# DIR... are the folders, relative to the prefix, that the rules may write
# into. fetcher_install_record_end() goes after the last one.

set(FETCHER_INSTALL_RECORDS "${CMAKE_BINARY_DIR}/install-records")

function(fetcher_install_record_begin)
  set(dirs "")
  foreach(dir IN LISTS ARGN)
    list(APPEND dirs "\${_fetcher_root}/${dir}")
  endforeach()
  install(CODE "
# The folders missing before this install: those that exist at its end were
# created by it.
set(_fetcher_root \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}\")
string(REGEX REPLACE \"/+$\" \"\" _fetcher_root \"\${_fetcher_root}\")
set(_fetcher_missing \"\")
foreach(_fetcher_dir ${dirs})
  while(NOT EXISTS \"\${_fetcher_dir}\" AND NOT IS_SYMLINK \"\${_fetcher_dir}\")
    list(APPEND _fetcher_missing \"\${_fetcher_dir}\")
    get_filename_component(_fetcher_dir \"\${_fetcher_dir}\" DIRECTORY)
  endwhile()
endforeach()
list(REMOVE_DUPLICATES _fetcher_missing)
")
endfunction()

function(fetcher_install_record_end)
  install(CODE "
# CPack's staging installs leave no record: the package is removed with apt.
if(NOT \"\$ENV{DESTDIR}\" MATCHES \"/_CPack_Packages/\")
  set(_fetcher_created \"\")
  foreach(_fetcher_dir IN LISTS _fetcher_missing)
    if(IS_DIRECTORY \"\${_fetcher_dir}\")
      list(APPEND _fetcher_created \"\${_fetcher_dir}\")
    endif()
  endforeach()
  string(MD5 _fetcher_key \"\${_fetcher_root}\")
  set(_fetcher_record \"${FETCHER_INSTALL_RECORDS}/\${_fetcher_key}.cmake\")
  # An earlier install to the same root: its files and folders stay recorded.
  set(files \"\")
  set(created_dirs \"\")
  if(EXISTS \"\${_fetcher_record}\")
    include(\"\${_fetcher_record}\")
  endif()
  list(APPEND files \${CMAKE_INSTALL_MANIFEST_FILES})
  list(APPEND created_dirs \${_fetcher_created})
  list(REMOVE_DUPLICATES files)
  list(REMOVE_DUPLICATES created_dirs)
  file(WRITE \"\${_fetcher_record}\" \"set(root [==[\${_fetcher_root}]==])
set(files [==[\${files}]==])
set(created_dirs [==[\${created_dirs}]==])
\")
endif()
")
endfunction()
