# Shared by the package checks: failures are collected, all are reported,
# and the script fails at the end if there was one.
set -uo pipefail
failures=0
fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}
finish() {
  if [ "$failures" -ne 0 ]; then
    echo "$failures check(s) failed" >&2
    exit 1
  fi
  echo "all checks passed"
  exit 0
}
deb_dir="$ORMID_BUILD_DIR/package-test"
deb_file() {
  ls "$deb_dir"/ormid_"$ORMID_VERSION"_*.deb 2>/dev/null | head -n1
}
