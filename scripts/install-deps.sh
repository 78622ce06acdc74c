#!/usr/bin/env bash
# Installs the Debian or Ubuntu packages for what you are about to do:
#
#   bash scripts/install-deps.sh [PURPOSE...]
#
#   build    (the default) what building the program needs: compiler, CMake,
#            and the development files of its five libraries
#   demo     build, and Python for scripts/demo.sh's local gallery server
#   test     build, and what the test suite and its checks start: Google Test,
#            cpp-httplib, Xvfb, curl, openssl, systemd-analyze, clang-format,
#            dpkg-buildflags (the suite is built with Debian's flags), and the
#            desktops set under Xvfb (xfdesktop, pcmanfm, pcmanfm-qt, caja with
#            dconf, a bus) and sway headless (with swaybg and grim)
#   fuzz     build, and clang with its fuzzer runtime
#   windows  the MinGW-w64 cross-compiler, Boost's headers, Wine and Xvfb,
#            zip for scripts/package-windows.sh
#   package  build, and what scripts/package-deb.sh and its checks use:
#            dpkg-dev, file, lintian, man-db
#   bench    build, and Google Benchmark with what bench/whole_run.sh starts
#
# Packages already present are left alone, so a second run costs nothing. It
# never removes a package: when one that is installed stands in the way, it
# says which and stops. Where Debian 12 and Ubuntu name a package
# differently, the name is chosen by what the package index offers.
set -euo pipefail

usage() {
  echo "usage: bash scripts/install-deps.sh [build|demo|test|fuzz|windows|package|bench]..." >&2
  exit 2
}

SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO="sudo"
apt_get() { $SUDO env DEBIAN_FRONTEND=noninteractive apt-get "$@"; }

installed() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q 'install ok installed'; }

# The package index is read once, and only when a name must be chosen or a
# package installed (the names are chosen in subshells: a file remembers it).
index_read=$(mktemp)
trap 'rm -f "$index_read"' EXIT
read_index() {
  if [ ! -s "$index_read" ]; then
    apt_get update -qq
    echo read >"$index_read"
  fi
}

# The version apt would install of $1, nothing when the index has none.
candidate() {
  read_index
  apt-cache policy "$1" 2>/dev/null | sed -n 's/^ *Candidate: //p' | grep -v '^(none)$' || true
}

# The first of the names given that is installed, else the first the index
# offers.
first_offered() {
  local name
  for name in "$@"; do
    if installed "$name"; then
      echo "$name"
      return
    fi
  done
  for name in "$@"; do
    if [ -n "$(candidate "$name")" ]; then
      echo "$name"
      return
    fi
  done
  echo "install-deps: the package index offers none of: $*" >&2
  exit 1
}

# Boost's headers, 1.76 or later (where Boost.Regex needs no compiled
# library). The -dev packages of two Boost versions hold the same headers and
# conflict: one that is installed and new enough is used; an older one is
# named, never removed.
boost_dev() {
  local name version
  local installed_boost=()
  while read -r name version; do
    installed_boost+=("$name $version")
  done < <(dpkg-query -W -f='${Package} ${Version} ${db:Status-Status}\n' 'libboost1.*-dev' 'libboost-dev' \
    2>/dev/null | awk '$3 == "installed" { print $1, $2 }')
  for entry in "${installed_boost[@]+"${installed_boost[@]}"}"; do
    read -r name version <<<"$entry"
    if dpkg --compare-versions "$version" ge 1.76; then
      echo "$name"
      return
    fi
  done
  local chosen=""
  version=$(candidate libboost-dev)
  if [ -n "$version" ] && dpkg --compare-versions "$version" ge 1.76; then
    chosen=libboost-dev
  else
    name=$(apt-cache pkgnames libboost1. | grep -E '^libboost1\.[0-9]+-dev$' | sort -V | tail -n 1)
    version=$(candidate "$name")
    if [ -n "$name" ] && [ -n "$version" ] && dpkg --compare-versions "$version" ge 1.76; then
      chosen=$name
    fi
  fi
  if [ -z "$chosen" ]; then
    echo "install-deps: the package index offers no Boost 1.76 or later" >&2
    exit 1
  fi
  if [ ${#installed_boost[@]} -gt 0 ]; then
    echo "install-deps: the build needs Boost 1.76 or later ($chosen), but ${installed_boost[0]%% *}" \
      "(${installed_boost[0]#* }) is installed and the two cannot be installed together." >&2
    echo "install-deps: this script removes nothing; if nothing of yours needs it," \
      "remove it yourself (apt-get remove ${installed_boost[0]%% *}) and run this again." >&2
    exit 1
  fi
  echo "$chosen"
}

# clang-format 14, with which the repository's style is checked, where the
# index has it; else the distribution's default.
clang_format() { first_offered clang-format-14 clang-format; }

# The distribution's default clang and the fuzzer runtime of its version
# (libclang-rt-N-dev, or libclang-common-N-dev where the runtime is still in
# it).
clang_fuzzer_runtime() {
  local major
  if installed clang; then
    major=$(dpkg-query -W -f='${Depends}' clang | tr ',' '\n' | sed -n 's/^ *clang-\([0-9][0-9]*\)\b.*/\1/p' | head -n 1)
  else
    read_index
    major=$(apt-cache depends clang 2>/dev/null | sed -n 's/^ *Depends: clang-\([0-9][0-9]*\)$/\1/p' | head -n 1)
  fi
  if [ -z "$major" ]; then
    echo "install-deps: cannot tell which clang the package index offers" >&2
    exit 1
  fi
  first_offered "libclang-rt-$major-dev" "libclang-common-$major-dev"
}

build_packages() {
  echo cmake g++ make libcurl4-openssl-dev libfreeimage-dev libx11-dev libxrandr-dev libseccomp-dev
  boost_dev
}

packages_for() {
  case "$1" in
    build) build_packages ;;
    demo) build_packages; echo python3 ;;
    test)
      build_packages
      echo pkg-config libgtest-dev libgmock-dev libcpp-httplib-dev xvfb x11-xserver-utils curl openssl systemd dpkg-dev
      # The desktops the wallpaper is set on, started by the tests under Xvfb.
      echo dbus-daemon libglib2.0-bin dconf-gsettings-backend xfdesktop4 xfconf pcmanfm pcmanfm-qt caja
      # sway headless with swaybg, and grim to read its screen back.
      echo sway swaybg grim
      clang_format
      ;;
    fuzz) build_packages; echo clang; clang_fuzzer_runtime ;;
    windows)
      echo cmake make g++-mingw-w64-x86-64-posix wine wine64 xvfb xauth xdotool zip
      boost_dev
      ;;
    package) build_packages; echo dpkg-dev file lintian man-db ;;
    bench) build_packages; echo libbenchmark-dev nginx-light libjpeg-turbo-progs imagemagick bc curl python3 xvfb x11-xserver-utils x11-apps feh ;;
    *)
      echo "install-deps: unknown purpose: $1" >&2
      usage
      ;;
  esac
}

[ $# -eq 0 ] && set -- build
for purpose in "$@"; do
  case "$purpose" in
    build | demo | test | fuzz | windows | package | bench) ;;
    *)
      echo "install-deps: unknown purpose: $purpose" >&2
      usage
      ;;
  esac
done

wanted=()
for purpose in "$@"; do
  list=$(packages_for "$purpose")
  read -r -a names <<<"$(echo $list)"
  wanted+=("${names[@]}")
done

missing=()
for p in "${wanted[@]}"; do
  installed "$p" || [[ " ${missing[*]-} " == *" $p "* ]] || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

read_index
echo "install-deps: installing ${missing[*]}"
# --no-remove: apt stops rather than remove a package of the machine's.
apt_get install -y -qq --no-install-recommends --no-remove "${missing[@]}"
