#!/usr/bin/env bash
# Builds the Debian package dist/wallpaper-fetcher_VERSION_ARCH.deb, which
# `apt install ./dist/wallpaper-fetcher_VERSION_ARCH.deb` installs and
# `apt remove --purge wallpaper-fetcher` removes. The program alone (no
# tests) is built in build-deb/ with Debian's build flags, and CPack puts the
# package together from the same install rules as `cmake --install`
# (cmake/Package.cmake). Installs what is missing first. Its last line names
# the package written.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh package

# The flags Debian builds its packages with, hardening included; CMake reads
# no CPPFLAGS, so the preprocessor's go in front of the compiler's. No -g:
# the package is stripped and there is no debug-symbol package.
eval "$(DEB_BUILD_MAINT_OPTIONS=hardening=+all dpkg-buildflags --export=sh)"
CXXFLAGS=" $CPPFLAGS $CXXFLAGS "
export CXXFLAGS="${CXXFLAGS// -g / }"
cmake -S . -B build-deb -DCMAKE_BUILD_TYPE=Release -DFETCHER_BUILD_TESTS=OFF ${FETCHER_CMAKE_ARGS:-} >/dev/null
cmake --build build-deb -j"$(nproc)"

rm -f build-deb/wallpaper-fetcher_*.deb
(cd build-deb && cpack -G DEB >/dev/null)
built=(build-deb/wallpaper-fetcher_*.deb)
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
