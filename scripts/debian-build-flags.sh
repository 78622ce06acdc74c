# shellcheck shell=bash
# Sourced by scripts/package-deb.sh and scripts/test.sh from the top of the
# repository: sets debian_cmake_flags, the CMake arguments for a Release build
# with the flags Debian builds its packages with, hardening included
# (dpkg-buildflags, from dpkg-dev). CMake reads no CPPFLAGS, so the
# preprocessor's go in front of the compiler's. No -g: the package is stripped
# and there is no debug-symbol package. Given as cache entries rather than in
# CXXFLAGS and LDFLAGS, they hold for a build folder configured before as well
# (CMake reads those two only when it makes the folder), and the package
# script can tell whether a folder was configured with them.
debian_flags() {
  local words=()
  read -r -a words <<<"$(DEB_BUILD_MAINT_OPTIONS=hardening=+all dpkg-buildflags --get "$1")"
  echo "${words[*]}"
}
debian_cxxflags=" $(debian_flags CPPFLAGS) $(debian_flags CXXFLAGS) "
debian_cxxflags=${debian_cxxflags// -g / }
debian_cxxflags=${debian_cxxflags# }
debian_cxxflags=${debian_cxxflags% }
# shellcheck disable=SC2034 # used by the scripts that source this one
debian_cmake_flags=(-DCMAKE_BUILD_TYPE=Release "-DCMAKE_CXX_FLAGS=$debian_cxxflags"
  "-DCMAKE_EXE_LINKER_FLAGS=$(debian_flags LDFLAGS)")
unset -f debian_flags
unset debian_cxxflags
