#!/usr/bin/env bash
# Puts the Windows download together:
# dist/wallpaper-fetcher-VERSION-windows-x64.zip holds wallpaper-fetcher.exe
# (started by Task Scheduler and Explorer), wallpaper-fetcher.com (the same
# program for command prompts), README.txt (the README's Windows section and
# its guide to writing a site, as plain text) and Sites.ini.example (its
# SavePath a Windows folder), both text files with CR LF line ends. Builds the two
# program files in build-win/ as scripts/build-windows.sh does, installing
# what is missing first. Its last line names the file written.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh windows

version=$(sed -n 's/^project(wallpaper_fetcher VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
[ -n "$version" ] || { echo "package-windows: no version in CMakeLists.txt" >&2; exit 1; }
cmake -S . -B build-win -DCMAKE_BUILD_TYPE=Release ${FETCHER_CMAKE_ARGS:-} \
  -DCMAKE_TOOLCHAIN_FILE="$(pwd)/cmake/mingw-w64-x86_64.cmake" >/dev/null
cmake --build build-win -j"$(nproc)" --target wallpaper-fetcher wallpaper-fetcher-console

stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
cp build-win/wallpaper-fetcher.exe build-win/wallpaper-fetcher.com "$stage/"
crlf() { sed 's/\r$//; s/$/\r/'; }
{
  echo "wallpaper-fetcher $version for Windows x64"
  echo
  # From "## Windows" up to its build steps, then the guide to writing a
  # site up to its worked example: plain text, no Markdown fences or marks.
  awk '/^## Windows$/ { on = 1; next } on && /^(## |### Building it)/ { exit } on' README.md |
    sed '/./,$!d'
  awk '/^## Writing a site$/ { on = 1 } on && /^### / { exit } on' README.md
} | sed '/^```/d; s/`//g; s/\*\*//g; s/^## //; s/^### //' | crlf >"$stage/README.txt"
grep -q 'wallpaper-fetcher --init' "$stage/README.txt" || {
  echo "package-windows: README.md has no Windows section to take" >&2
  exit 1
}
# The pictures in the user's local data folder, written the Windows way:
# "me" is the one word to change.
sed 's|^SavePath=.*|SavePath=C:\\Users\\me\\AppData\\Local\\wallpaper-fetcher\\pictures\\|' \
  examples/Sites.ini | crlf >"$stage/Sites.ini.example"

mkdir -p dist
zip_file="dist/wallpaper-fetcher-$version-windows-x64.zip"
rm -f "$zip_file"
(cd "$stage" && zip -q -X "$OLDPWD/$zip_file" wallpaper-fetcher.exe wallpaper-fetcher.com \
  README.txt Sites.ini.example)
echo "Wrote $zip_file"
