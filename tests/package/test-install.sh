#!/usr/bin/env bash
# Installs a built tree into a scratch prefix and checks the package a host
# sees there: the files installed (public headers only, the library with its
# SONAME links, the Designer plugin), the exported interface and symbols, and
# a host program built once through find_package(Quellix) and once through
# pkg-config, each run offscreen.
#
#   test-install.sh <build dir> <source dir> <cmake> <c++ compiler> <plugin built: ON|OFF>
set -uo pipefail

if [ $# -ne 5 ]; then
  echo "usage: $0 <build dir> <source dir> <cmake> <c++ compiler> <plugin built: ON|OFF>" >&2
  exit 2
fi
build=$1 src=$2 cmake=$3 cxx=$4 plugin=$5

work=$(mktemp -d "${TMPDIR:-/tmp}/quellix-package.XXXXXX") || exit 1
trap 'rm -rf "$work"' EXIT
prefix=$work/prefix
log=$work/log
: >"$log"

step() { echo "== $*"; }
fail() {
  echo "FAIL: $*" >&2
  if [ -s "$log" ]; then echo "-- last output:" >&2; tail -n 40 "$log" >&2; fi
  exit 1
}
quiet() { "$@" >"$log" 2>&1; }
# The path ldd resolves for libquellix in a binary; must lie in the prefix.
check_finds_library() {
  local resolved
  resolved=$(ldd "$1" | awk '$1 == "libquellix.so.0" { print $3 }')
  case $resolved in
    "$prefix"/*) ;;
    *) fail "$2 resolves libquellix.so.0 to '${resolved:-nothing}', not into $prefix" ;;
  esac
}

step "cmake --install into $prefix"
quiet "$cmake" --install "$build" --prefix "$prefix" || fail "cmake --install $build"
while read -r f; do
  case $f in "$prefix"/*) ;; *) fail "installed outside the prefix: $f" ;; esac
done <"$build/install_manifest.txt"

step "library and SONAME links"
lib=$(find "$prefix" -name libquellix.so -type l)
[ -n "$lib" ] && [ "$(printf '%s\n' "$lib" | wc -l)" -eq 1 ] || fail "expected one libquellix.so link, found: '$lib'"
libdir=$(dirname "$lib")
[ "$(readlink "$lib")" = libquellix.so.0 ] || fail "libquellix.so points to '$(readlink "$lib")', not libquellix.so.0"
real=$(readlink "$libdir/libquellix.so.0")
[ -n "$real" ] && [ -f "$libdir/$real" ] && [ ! -L "$libdir/$real" ] || fail "libquellix.so.0 is no link to the library file"
readelf -d "$libdir/$real" | grep -q 'SONAME.*\[libquellix\.so\.0\]' || fail "$real has no SONAME libquellix.so.0"

step "headers: only the public ones"
expected=$(cd "$src/include" && find quellix -type f -name '*.h' | sort)
installed=$(cd "$prefix" && find . -type f \( -name '*.h' -o -name '*.hpp' \) | sed 's|^\./||' | sort)
[ "$installed" = "$(printf '%s\n' "$expected" | sed 's|^|include/|')" ] ||
  fail "installed headers differ from include/quellix:"$'\n'"$installed"

step "exported interface"
pkgfiles=$(find "$prefix" \( -path '*/cmake/Quellix/*' -o -name quellix.pc \) -type f)
[ -n "$pkgfiles" ] || fail "no CMake package or quellix.pc installed"
# Private dependencies may appear only where CMake records what the shared
# library itself links (IMPORTED_LINK_DEPENDENT_LIBRARIES, for -rpath-link).
private='Multimedia|PrintSupport|Charts|sqlcipher|SQLCIPHER|quellix_objects|quellix_resources|quellix_internal'
if grep -nE "$private" $pkgfiles | grep -v 'IMPORTED_LINK_DEPENDENT_LIBRARIES'; then
  fail "the package names a private dependency or an internal target (above)"
fi
if grep -nF -e "$src" -e "$build" $pkgfiles; then fail "the package refers to the source or build tree (above)"; fi

step "exported symbols"
# The public API: the Quellix class, the engine, quellix::Error, the quellix
# namespace's meta-object (Range) and the store functions; typeinfo of
# libstdc++ templates is exported by the compiler whatever the visibility.
exports_beyond_api() {
  nm -DC --defined-only "$1" | sed -E 's/^[0-9a-f]+ [A-Za-z] //' | grep -vE \
    -e '^Quellix::' -e '^non-virtual thunk to Quellix::' \
    -e '^(typeinfo|typeinfo name|vtable) for (Quellix|quellix::Error|quellix::Engine)$' \
    -e '^quellix::Error::' -e '^quellix::Engine::' -e '^quellix::staticMetaObject$' \
    -e '^quellix::(setInformationHandler|setStoreLocation|storeLocation|storeServerAway|storeDirectory|settingsField|setSettingsField|startProgram)\(' \
    -e '^(typeinfo|typeinfo name) for std::' -e '^(_edata|_end|__bss_start|_init|_fini)$'
}
extra=$(exports_beyond_api "$libdir/$real")
[ -z "$extra" ] || fail "libquellix exports symbols beyond the public API:"$'\n'"$extra"

step "the core library for headless hosts"
core=$(readlink -f "$libdir/libquellixcore.so")
[ -f "$core" ] || fail "libquellixcore.so not installed in $libdir"
readelf -d "$core" | grep -q 'SONAME.*\[libquellixcore\.so\.0\]' || fail "$core has no SONAME libquellixcore.so.0"
if readelf -d "$core" | grep NEEDED | grep -E 'Qt6(Gui|Widgets)'; then fail "libquellixcore needs a GUI library (above)"; fi
extra=$(exports_beyond_api "$core")
[ -z "$extra" ] || fail "libquellixcore exports symbols beyond the public API:"$'\n'"$extra"
if nm -DC --defined-only "$core" | grep -q ' Quellix::'; then fail "libquellixcore exports the widget"; fi

step "panel, logger and Designer plugin"
panel=$prefix/bin/quellix-panel
[ -x "$panel" ] || panel=$(find "$prefix" -name quellix-panel -type f)
[ -x "$panel" ] || fail "quellix-panel not installed"
check_finds_library "$panel" "quellix-panel"
logger=$(find "$prefix" -name quellix-logger -type f)
[ -x "$logger" ] || fail "quellix-logger not installed"
# The logger is headless: the core library from the prefix, no widgets.
case $(ldd "$logger" | awk '$1 == "libquellixcore.so.0" { print $3 }') in
  "$prefix"/*) ;;
  *) fail "quellix-logger does not resolve libquellixcore.so.0 into $prefix" ;;
esac
if ldd "$logger" | grep -E 'libquellix\.so|Qt6Widgets|Qt6Gui'; then fail "quellix-logger links a widget library (above)"; fi
if [ "$plugin" = ON ]; then
  designer=$(find "$prefix" -path '*/designer/libquellixdesigner.so' -type f)
  [ -n "$designer" ] || fail "the Designer plugin is not in a designer folder under $prefix"
  check_finds_library "$designer" "the Designer plugin"
else
  echo "   (the build has no Designer plugin)"
fi

step "host through find_package(Quellix)"
quiet "$cmake" -S "$src/tests/package/host" -B "$work/host-cmake" -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_CXX_COMPILER="$cxx" -DCMAKE_PREFIX_PATH="$prefix" -DCMAKE_FIND_USE_PACKAGE_REGISTRY=OFF ||
  fail "configuring the host against $prefix"
grep -q "^Quellix_DIR:PATH=$prefix/" "$work/host-cmake/CMakeCache.txt" ||
  fail "the host found $(grep '^Quellix_DIR' "$work/host-cmake/CMakeCache.txt"), not the package in $prefix"
quiet "$cmake" --build "$work/host-cmake" || fail "building the host with CMake"
check_finds_library "$work/host-cmake/host" "the CMake-built host"
if readelf -d "$work/host-cmake/host" | grep NEEDED | grep -E "$private"; then
  fail "the host links a private dependency of libquellix (above)"
fi
(cd "$work" && QT_QPA_PLATFORM=offscreen "$work/host-cmake/host") || fail "the CMake-built host"

step "host through pkg-config"
pc=$(find "$prefix" -name quellix.pc -type f)
[ -n "$pc" ] || fail "quellix.pc not installed"
export PKG_CONFIG_PATH=$(dirname "$pc")
flags=$(pkg-config --cflags --libs quellix 2>"$log") || fail "pkg-config --cflags --libs quellix"
echo "   pkg-config: $flags"
[ "$(pkg-config --variable=libdir quellix)" -ef "$libdir" ] || fail "quellix.pc's libdir is not $libdir"
# shellcheck disable=SC2086 # the flags are words
quiet "$cxx" -std=c++20 -fPIC "$src/tests/package/host/main.cpp" $flags -Wl,-rpath,"$libdir" -o "$work/host-pc" ||
  fail "compiling the host with pkg-config's flags"
(cd "$work" && QT_QPA_PLATFORM=offscreen "$work/host-pc") || fail "the pkg-config-built host"

echo "== package OK"
