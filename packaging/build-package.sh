#!/usr/bin/env bash
# Builds the Debian package quorvex-flatfile: a Release build of the product
# in a folder of its own (first argument, default build-package/ beside the
# sources), stripped, with Debian's hardening flags, packed by CPack's DEB
# generator. Prints the path of the .deb on its last line.
set -euo pipefail
source_dir="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${1:-$source_dir/build-package}"
jobs="${QX6_JOBS:-$(nproc 2>/dev/null || echo 2)}"

# Debian's build flags (-O2, hardening, format checks) in place of CMake's
# Release -O3 (GCC 12 gives false -Wrestrict warnings on std::string at -O3),
# without debug info: the package ships stripped binaries and no symbols.
cd "$source_dir"
cppflags="$(dpkg-buildflags --get CPPFLAGS)"
cxxflags="$(dpkg-buildflags --get CXXFLAGS | sed -e 's/\(^\| \)-g\( \|$\)/ /g')"
ldflags="$(dpkg-buildflags --get LDFLAGS)"

# The manual pages carry the date of the release in the changelog, not of
# the build.
SOURCE_DATE_EPOCH="$(dpkg-parsechangelog -l packaging/debian/changelog -STimestamp)"
export SOURCE_DATE_EPOCH

# Only the product is built: the package's install step does not build the
# tests, benchmarks or fuzz targets.
cmake -S "$source_dir" -B "$build" -DCMAKE_BUILD_TYPE=Release -DQX6_WERROR=ON \
  -DQX6_BENCHMARKS=OFF -DQX6_FUZZERS=OFF -DQX6_SANITIZE=OFF \
  -DCMAKE_SKIP_INSTALL_ALL_DEPENDENCY=ON -DCMAKE_INSTALL_PREFIX=/usr \
  "-DCMAKE_CXX_FLAGS=$cppflags $cxxflags" -DCMAKE_CXX_FLAGS_RELEASE=-DNDEBUG \
  "-DCMAKE_EXE_LINKER_FLAGS=$ldflags" "-DCMAKE_SHARED_LINKER_FLAGS=$ldflags" \
  "-DCMAKE_MODULE_LINKER_FLAGS=$ldflags" >/dev/null
cmake --build "$build" -j "$jobs" --target qx6product >&2
rm -f "$build"/quorvex-flatfile_*.deb
(cd "$build" && cpack -G DEB >&2)
ls "$build"/quorvex-flatfile_*.deb
