# The desktop entry and the .txi file type: both validate, and a desktop
# that has them installed opens image files with ORMID.
#
#   check-desktop-files.sh [SHARE]   SHARE: an installed share/ folder (the
#                                    unpacked package); by default the files
#                                    are staged from the sources.
source "$(dirname "$0")/common.sh"
scratch="$(mktemp -d)"
trap 'rm -rf "$scratch"' EXIT
share="${1:-}"
if [ -z "$share" ]; then
  share="$scratch/share"
  mkdir -p "$share/applications" "$share/mime/packages"
  sed 's/@ORMID_EXEC@/ormid/' "$ORMID_SOURCE_DIR/src/app/resources/ormid.desktop.in" \
    >"$share/applications/ormid.desktop"
  cp "$ORMID_SOURCE_DIR/src/app/resources/ormid-mime.xml" "$share/mime/packages/ormid.xml"
fi
desktop="$share/applications/ormid.desktop"
mime="$share/mime/packages/ormid.xml"

desktop-file-validate "$desktop" || fail "desktop-file-validate $desktop"
grep -qx 'Exec=ormid %f' "$desktop" || fail "Exec line: $(grep '^Exec' "$desktop")"
grep -qx 'MimeType=application/x-ormid-image;' "$desktop" || fail "MimeType line: $(grep '^MimeType' "$desktop")"

xmllint --noout "$mime" || fail "xmllint $mime"
# What the desktop's triggers do after installing: the MIME database and the
# applications cache, built here in a copy.
db="$scratch/db"
mkdir -p "$db/mime/packages" "$db/applications"
cp "$mime" "$db/mime/packages/"
cp "$desktop" "$db/applications/"
XDG_DATA_DIRS="$db" update-mime-database "$db/mime" 2>"$scratch/mime.err" || fail "update-mime-database: $(cat "$scratch/mime.err")"
[ -s "$scratch/mime.err" ] && fail "update-mime-database warned: $(cat "$scratch/mime.err")"
grep -qx 'application/x-ormid-image:\*\.txi' <(cut -d: -f2- "$db/mime/globs2") ||
  fail "no *.txi glob in the MIME database"
[ -f "$db/mime/application/x-ormid-image.xml" ] || fail "the type is missing from the MIME database"
update-desktop-database "$db/applications" || fail "update-desktop-database"
default="$(env -u XDG_CURRENT_DESKTOP -u DESKTOP_SESSION -u KDE_FULL_SESSION -u GNOME_DESKTOP_SESSION_ID \
  XDG_DATA_HOME="$scratch/home" XDG_DATA_DIRS="$db" XDG_CONFIG_HOME="$scratch/config" XDG_CONFIG_DIRS="$scratch/config" \
  xdg-mime query default application/x-ormid-image)"
[ "$default" = ormid.desktop ] || fail "xdg-mime names '$default' for application/x-ormid-image"
finish
