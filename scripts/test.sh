#!/usr/bin/env bash
# Installs what is needed, then builds and tests ORMID twice: a normal build in
# build/ and an AddressSanitizer+UndefinedBehaviorSanitizer build in build-asan/.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
# The C++ files follow .clang-format (changed ones on a branch, all on main).
scripts/check-format.sh
jobs="$(nproc)"
export QT_QPA_PLATFORM=offscreen
export ASAN_OPTIONS="detect_leaks=1:abort_on_error=0:${ASAN_OPTIONS:-}"
export LSAN_OPTIONS="suppressions=$PWD/scripts/lsan.supp:print_suppressions=0"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
# Unchanged sources come from the compiler cache; paths below the checkout are
# taken relative to it, so another clone of the same tree hits the same entries.
if command -v ccache >/dev/null; then
  export CMAKE_CXX_COMPILER_LAUNCHER=ccache CMAKE_C_COMPILER_LAUNCHER=ccache
  export CCACHE_BASEDIR="$PWD"
  export CCACHE_NOHASHDIR=1
  # Other checkouts of the tree share the cache: hashing the preprocessed
  # output keeps a header of another checkout from being taken for ours.
  export CCACHE_NODIRECT=1
  export CCACHE_SLOPPINESS="pch_defines,time_macros,include_file_mtime,include_file_ctime"
fi

# The program configures without its tests and benchmarks: no test target, no
# GoogleTest or Qt Test needed.
check_program_only() {
  cmake -S . -B build-program -G Ninja -DBUILD_TESTING=OFF >/dev/null
  if ninja -C build-program -t targets all | grep -E '_test:|^bench-|gtest' >/dev/null; then
    echo "scripts/test.sh: BUILD_TESTING=OFF still builds test targets" >&2
    exit 1
  fi
  echo "== build-program: BUILD_TESTING=OFF configures without test targets"
}

run_variant() {
  local dir="$1"; shift
  echo "== $dir: configure"
  cmake -S . -B "$dir" -G Ninja "$@" >/dev/null
  echo "== $dir: build"
  cmake --build "$dir" -j "$jobs"
  echo "== $dir: test"
  local status=0
  (cd "$dir" && ctest --output-on-failure -j "$jobs" --timeout 600) || status=$?
  list_skipped "$dir"
  return "$status"
}

# Every test that skipped, with its reason: GoogleTest's and Qt Test's own
# lines from the log of the run. A skip is no pass; under CI a test of a part
# this script installs fails instead (tests/common/RequireRealPart.h).
list_skipped() {
  local log="$1/Testing/Temporary/LastTest.log"
  echo "== $1: skipped tests"
  local found
  found="$(awk '/: Skipped$/ { getline reason; next }
                /^\[  SKIPPED \] / && /\(/ { print "  " $4 ": " reason; reason = "" }
                /^SKIP   : / { sub(/^SKIP   : /, ""); print "  " $0 }' "$log" 2>/dev/null | sort -u)"
  if [ -n "$found" ]; then echo "$found"; else echo "(none)"; fi
}

check_program_only
run_variant build -DCMAKE_BUILD_TYPE=RelWithDebInfo
run_variant build-asan -DCMAKE_BUILD_TYPE=Debug -DORMID_SANITIZE=ON
echo "scripts/test.sh: all tests passed in both builds"
