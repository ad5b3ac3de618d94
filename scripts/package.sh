#!/usr/bin/env bash
# Builds the Debian package of ORMID:
#
#   scripts/package.sh     a Release tree in build-package/, then
#                          build-package/ormid_<version>_<arch>.deb
#
# Install it with:  sudo apt install ./build-package/ormid_*.deb
set -euo pipefail
cd "$(dirname "$0")/.."

case "${1:-}" in
  -h|--help) sed -n '2,7p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
  "") ;;
  *) echo "package.sh: unknown option $1" >&2; exit 2 ;;
esac

scripts/install-deps.sh
dir=build-package
cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
# Only what the package holds: no tests, no benchmarks.
cmake --build "$dir" -j "$(nproc)" --target ormid-package-files
(cd "$dir" && cpack -G DEB -B "$PWD/package" >/dev/null)
deb="$(ls -t "$dir"/package/ormid_*.deb | head -n1)"
mv -f "$deb" "$dir/"
deb="$dir/$(basename "$deb")"
echo "package.sh: $deb"
dpkg-deb --field "$deb" Package Version Architecture Section Depends Recommends
