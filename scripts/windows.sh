#!/usr/bin/env bash
# Builds what Orvalen for Windows needs, from Debian's archive, on a Debian machine.
#   scripts/windows.sh qt       installs the cross tools and builds Qt for Windows (once; cached)
#                               and prints the Qt prefix on stdout
#   scripts/windows.sh deps     installs the cross tools only
#   scripts/windows.sh fetch    installs the cross tools and fetches Qt's source (all that needs
#                               apt), so that qt can then run beside other apt users
#   scripts/windows.sh test     builds Qt when needed, cross-builds Orvalen's Windows side into
#                               ${BUILD_DIR:-build-win} and runs its tests under Wine (ctest -L wine)
#   scripts/windows.sh package  builds Qt when needed and the Windows side (tests left out), then
#                               writes orvalen-<version>-setup.exe and orvalen-<version>-windows.zip
#                               into ${BUILD_DIR:-build-win} (scripts/windows-package.sh)
#
# The lane's printer is the Linux simulator: ORVALEN_PRINTER_SIM names it (scripts/test.sh passes
# its Linux build's), else it is built in ${ORVALEN_LINUX_BUILD:-build}.
#
# Qt for Windows is built from the qt6-base source package of the host Qt's version (the host's
# moc, rcc and uic are used), as shared libraries, with only what the program uses. It goes to
#   ${ORVALEN_WIN_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/orvalen}/qt-<version>-win64-<hash>
# where the hash covers the options and the toolchain. A build is installed into a temporary
# folder and renamed into place only when complete, so a half-built Qt is never picked up.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cache="${ORVALEN_WIN_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/orvalen}"
jobs="${ORVALEN_WIN_JOBS:-$(nproc)}"

log() { echo "windows.sh: $*" >&2; }

install_deps() {
  local packages=(g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix mingw-w64-tools
    binutils-mingw-w64-x86-64 wine64 xvfb xauth xdotool xclip socat dpkg-dev xz-utils cmake
    ninja-build qt6-base-dev-tools)
  local missing=() p
  for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
  done
  if [ ${#missing[@]} -gt 0 ]; then
    local sudo=""
    [ "$(id -u)" -eq 0 ] || sudo="sudo"
    log "installing with apt-get${sudo:+ (through sudo)}: ${missing[*]}"
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
  fi
}

# The host Qt's version, e.g. 6.4.2+dfsg-10 (package) and 6.4.2 (upstream).
host_qt_package_version() { dpkg-query -W -f='${Version}' qt6-base-dev-tools; }

# Source lines for apt-get source: a copy of the archive's deb entries as deb-src.
enable_deb_src() {
  if apt-cache showsrc qt6-base 2>/dev/null | grep -q '^Package: qt6-base'; then
    return
  fi
  local sudo=""
  [ "$(id -u)" -eq 0 ] || sudo="sudo"
  local src=/etc/apt/sources.list.d/debian.sources
  [ -f "$src" ] || { log "no $src to copy deb-src lines from"; exit 1; }
  log "enabling deb-src (orvalen-src.sources) for Qt's source"
  sed 's/^Types: deb$/Types: deb-src/' "$src" | $sudo tee /etc/apt/sources.list.d/orvalen-src.sources >/dev/null
  $sudo apt-get update -qq
}

# Prints the path of Qt's unpacked source for this version, fetching it when missing.
qt_source() {
  local pkgver="$1" upstream="${1%%-*}"
  local dir="$cache/src/qt6-base-$upstream"
  if [ ! -f "$dir/.complete" ]; then
    enable_deb_src
    mkdir -p "$cache/src"
    local tarball="$cache/src/qt6-base_${upstream}.orig.tar.xz"
    if [ ! -f "$tarball" ]; then
      # Fetched aside and moved in whole: a download cut short leaves no tarball behind.
      rm -rf "$cache/src/fetch.tmp"
      mkdir -p "$cache/src/fetch.tmp"
      (cd "$cache/src/fetch.tmp" && apt-get source --download-only -qq "qt6-base=$pkgver" >&2)
      mv "$cache/src/fetch.tmp/$(basename "$tarball")" "$tarball"
      rm -rf "$cache/src/fetch.tmp"
    fi
    rm -rf "$dir.tmp"
    mkdir -p "$dir.tmp"
    tar -xJf "$tarball" -C "$dir.tmp" --strip-components=1
    touch "$dir.tmp/.complete"
    rm -rf "$dir"
    mv "$dir.tmp" "$dir"
  fi
  echo "$dir"
}

# Qt's features, trimmed to what Orvalen uses: Core, Gui, Widgets (Fusion and Windows styles), PNG,
# the windows platform plugin. OpenGL stays on: the 6.4 windows plugin does not build without it.
qt_options=(
  -DBUILD_SHARED_LIBS=ON
  -DCMAKE_BUILD_TYPE=Release
  -DQT_BUILD_EXAMPLES=OFF
  -DQT_BUILD_TESTS=OFF
  -DFEATURE_network=OFF -DFEATURE_sql=OFF -DFEATURE_dbus=OFF -DFEATURE_printsupport=OFF
  -DFEATURE_concurrent=OFF -DFEATURE_xml=OFF -DFEATURE_tabletevent=OFF
  -DFEATURE_system_zlib=OFF -DFEATURE_system_png=OFF -DFEATURE_system_pcre2=OFF
  -DFEATURE_system_freetype=OFF -DFEATURE_system_harfbuzz=OFF
  -DFEATURE_jpeg=OFF -DFEATURE_gif=OFF -DFEATURE_ico=OFF
  # Without direct2d, Gui leaves out the DirectWrite font database that the 6.4 windows plugin
  # still calls when directwrite3 is on (the plugin then fails to link): GDI fonts, the default.
  -DFEATURE_direct2d=OFF -DFEATURE_directwrite3=OFF -DFEATURE_vulkan=OFF
  -DFEATURE_style_windowsvista=OFF
  -DFEATURE_sql_sqlite=OFF -DFEATURE_zstd=OFF
  # The Windows tests use GoogleTest, not QtTest.
  -DFEATURE_testlib=OFF
  # Fonts come from GDI: FreeType is only the optional "fontengine=freetype" of the plugin.
  -DFEATURE_freetype=OFF
  # Neither the window nor its traffic window uses these.
  -DFEATURE_sessionmanager=OFF -DFEATURE_textodfwriter=OFF
  -DFEATURE_imageformat_ppm=OFF -DFEATURE_imageformat_xbm=OFF
  -DFEATURE_calendarwidget=OFF -DFEATURE_colordialog=OFF -DFEATURE_fontdialog=OFF
  -DFEATURE_fontcombobox=OFF -DFEATURE_wizard=OFF -DFEATURE_mdiarea=OFF -DFEATURE_lcdnumber=OFF
  -DFEATURE_dial=OFF -DFEATURE_undoview=OFF -DFEATURE_keysequenceedit=OFF
  -DFEATURE_splashscreen=OFF
)

write_toolchain() {
  cat >"$1" <<'EOF'
# MinGW-w64 (POSIX threads) for 64-bit Windows.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)
set(CMAKE_FIND_ROOT_PATH /usr/x86_64-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
EOF
}

# Prints the Qt prefix, building it first when the cache has none for these options.
build_qt() {
  install_deps >&2
  local pkgver upstream key prefix
  pkgver="$(host_qt_package_version)"
  upstream="${pkgver%%-*}"
  upstream="${upstream%%+*}"
  mkdir -p "$cache"
  local toolchain="$cache/mingw-w64-x86_64.cmake"
  write_toolchain "$toolchain.new"
  if cmp -s "$toolchain.new" "$toolchain"; then rm "$toolchain.new"; else mv "$toolchain.new" "$toolchain"; fi
  key="$( (echo "$pkgver"; printf '%s\n' "${qt_options[@]}"; cat "$toolchain"
    x86_64-w64-mingw32-g++-posix -dumpfullversion) | sha256sum | cut -c1-12)"
  prefix="$cache/qt-$upstream-win64-$key"
  if [ -f "$prefix/.complete" ]; then
    echo "$prefix"
    return
  fi
  # One build in the cache at a time (the source folder is shared): a second run waits here,
  # then finds the first one's Qt when it was of the same options.
  exec 8>"$cache/build.lock"
  flock 8
  if [ -f "$prefix/.complete" ]; then
    echo "$prefix"
    return
  fi
  local src
  src="$(qt_source "$pkgver")"
  local build="$cache/build-qt-$upstream-win64-$key" stage="$prefix.tmp"
  local started=$SECONDS
  log "building Qt $upstream for Windows into $prefix (about 20-25 minutes on 2 cores)"
  if [ ! -f "$build/build.ninja" ]; then
    rm -rf "$build"
    cmake -S "$src" -B "$build" -G Ninja \
      -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
      -DCMAKE_INSTALL_PREFIX="$prefix" \
      -DQT_HOST_PATH=/usr -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake \
      "${qt_options[@]}" >"$cache/configure-$key.log" 2>&1 ||
      { log "configure failed, see $cache/configure-$key.log"; tail -30 "$cache/configure-$key.log" >&2; exit 1; }
  fi
  # Core first: it is what the platform layer needs, and a developer can try that early.
  { cmake --build "$build" --parallel "$jobs" --target Core &&
    cmake --build "$build" --parallel "$jobs"; } >"$cache/build-$key.log" 2>&1 ||
    { log "build failed, see $cache/build-$key.log"; grep -m5 -B2 -A10 'error' "$cache/build-$key.log" >&2; exit 1; }
  rm -rf "$stage"
  DESTDIR="$stage" cmake --install "$build" >"$cache/install-$key.log" 2>&1
  # DESTDIR keeps the final paths inside the Qt files; the tree is moved into place whole.
  rm -rf "$prefix"
  mv "$stage$prefix" "$prefix"
  rm -rf "$stage"
  echo "$pkgver" >"$prefix/.complete"
  log "Qt built in $(((SECONDS - started) / 60)) min $(((SECONDS - started) % 60)) s; $(du -sh "$prefix" | cut -f1)"
  rm -rf "$build"
  echo "$prefix"
}

# Prints the path of the Linux simulator, building it when ORVALEN_PRINTER_SIM names none.
printer_sim() {
  if [ -n "${ORVALEN_PRINTER_SIM:-}" ]; then
    [ -x "$ORVALEN_PRINTER_SIM" ] || { log "ORVALEN_PRINTER_SIM=$ORVALEN_PRINTER_SIM is no program"; exit 1; }
    echo "$ORVALEN_PRINTER_SIM"
    return
  fi
  local linux="${ORVALEN_LINUX_BUILD:-$root/build}"
  if [ ! -f "$linux/build.ninja" ]; then
    "$root/scripts/deps.sh" >&2
    cmake -S "$root" -B "$linux" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >&2
  fi
  cmake --build "$linux" --target orvalen-printer-sim >&2
  echo "$linux/tools/printer-sim/orvalen-printer-sim"
}

# Cross-builds the Windows side and runs its tests under Wine; extra arguments go to ctest.
build_and_test() {
  local prefix sim build="${BUILD_DIR:-$root/build-win}"
  prefix="$(build_qt)"
  sim="$(printer_sim)"
  "$prefix/bin/qt-cmake" -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DBUILD_TESTING=ON -DORVALEN_PRINTER_SIM="$sim"
  cmake --build "$build"
  (cd "$build" && ctest --output-on-failure -L wine "$@")
}

# Cross-builds the programs alone and packages them.
build_and_package() {
  local prefix build="${BUILD_DIR:-$root/build-win}"
  prefix="$(build_qt)"
  "$prefix/bin/qt-cmake" -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
  cmake --build "$build" --target orvalen orvalenctl orvalenctlw
  "$root/scripts/windows-package.sh" "$build"
}

case "${1:-}" in
  deps) install_deps ;;
  fetch)
    install_deps
    pkgver="$(host_qt_package_version)"
    qt_source "$pkgver" >/dev/null
    ;;
  qt) build_qt ;;
  package) build_and_package ;;
  test)
    shift
    build_and_test "$@"
    ;;
  *)
    sed -n '2,12p' "$0" | sed 's/^# \{0,1\}//' >&2
    exit 2
    ;;
esac
