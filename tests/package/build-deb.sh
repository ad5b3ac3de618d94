# Makes the package from this build tree, as scripts/package.sh does from its
# Release tree.
source "$(dirname "$0")/common.sh"
rm -rf "$deb_dir"
mkdir -p "$deb_dir"
cd "$ORMID_BUILD_DIR" || exit 1
if ! cpack -G DEB -B "$deb_dir" --config CPackConfig.cmake >"$deb_dir/cpack.log" 2>&1; then
  cat "$deb_dir/cpack.log" >&2
  fail "cpack did not make the package"
fi
deb="$(deb_file)"
[ -n "$deb" ] || fail "no ormid_${ORMID_VERSION}_<arch>.deb in $deb_dir"
[ -n "$deb" ] && [ "$(basename "$deb")" = "ormid_${ORMID_VERSION}_$(dpkg --print-architecture).deb" ] ||
  fail "package file named $(basename "${deb:-none}")"
finish
