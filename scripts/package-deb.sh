#!/usr/bin/env bash
# Builds the Debian package dist/wallpaper-fetcher_VERSION_ARCH.deb, which
# `apt install ./dist/wallpaper-fetcher_VERSION_ARCH.deb` installs and
# `apt remove --purge wallpaper-fetcher` removes. CPack puts the package
# together from the same install rules as `cmake --install`
# (cmake/Package.cmake). Installs what is missing first. Its last line names
# the package written.
#
#   bash scripts/package-deb.sh          the program alone (no tests), built
#                                        in build-deb/ with Debian's build flags
#   bash scripts/package-deb.sh BUILD    from BUILD, a Release build folder
#                                        configured with Debian's build flags
#                                        (scripts/debian-build-flags.sh), as
#                                        scripts/test.sh configures build/;
#                                        its tests, if any, install nothing
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh package
. scripts/debian-build-flags.sh

if [ $# -gt 1 ]; then
  echo "usage: bash scripts/package-deb.sh [BUILD]" >&2
  exit 2
fi
build=${1:-build-deb}
build=${build%/}
if [ $# -eq 0 ]; then
  cmake -S . -B "$build" "${debian_cmake_flags[@]}" -DFETCHER_BUILD_TESTS=OFF ${FETCHER_CMAKE_ARGS:-} >/dev/null
else
  # A folder built otherwise would make a package unlike the one above.
  cached() { sed -n "s/^$1:[A-Z]*=//p" "$build/CMakeCache.txt"; }
  if [ ! -f "$build/CMakeCache.txt" ]; then
    echo "package-deb: $build is not a configured build folder" >&2
    exit 1
  fi
  for flag in "${debian_cmake_flags[@]}" -DFETCHER_SANITIZE= -DFETCHER_BUILD_FUZZ=OFF; do
    name=${flag#-D}
    name=${name%%=*}
    if [ "$(cached "$name")" != "${flag#*=}" ]; then
      echo "package-deb: $build has $name=$(cached "$name"), the package needs ${flag#*=}" >&2
      exit 1
    fi
  done
fi
# With an existing folder, only the program is brought up to date.
cmake --build "$build" -j"$(nproc)" --target wallpaper-fetcher

rm -f "$build"/wallpaper-fetcher_*.deb
(cd "$build" && cpack -G DEB >/dev/null)
built=("$build"/wallpaper-fetcher_*.deb)
if [ ${#built[@]} -ne 1 ] || [ ! -f "${built[0]}" ]; then
  echo "package-deb: CPack wrote no package" >&2
  exit 1
fi
# The picture decoder loads FreeImage at run time, where dpkg-shlibdeps does
# not look: the package must name it all the same.
depends=$(dpkg-deb -f "${built[0]}" Depends)
if [[ "$depends" != *libfreeimage* ]]; then
  echo "package-deb: Depends lacks FreeImage (is libfreeimage-dev installed?): $depends" >&2
  exit 1
fi
mkdir -p dist
deb="dist/$(basename "${built[0]}")"
mv -f "${built[0]}" "$deb"
echo "Depends: $depends"
echo "Wrote $deb"
