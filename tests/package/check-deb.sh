# The package's control data and file list.
source "$(dirname "$0")/common.sh"
deb="$(deb_file)"
[ -n "$deb" ] || { fail "no package"; finish; }

info="$(dpkg-deb --info "$deb")"
field() { printf '%s\n' "$info" | sed -n "s/^ $1: //p"; }
[ "$(field Package)" = ormid ] || fail "Package: $(field Package)"
[ "$(field Version)" = "$ORMID_VERSION" ] || fail "Version: $(field Version)"
[ "$(field Section)" = electronics ] || fail "Section: $(field Section)"
[[ "$(field Maintainer)" == *@* ]] || fail "Maintainer without an address: $(field Maintainer)"
# A real description: a summary and several lines of text.
[ "$(printf '%s\n' "$info" | sed -n '/^ Description:/,$p' | wc -l)" -ge 5 ] || fail "description too short"
depends="$(field Depends)"
# Libraries that only the program's own libraries need must be listed too.
for lib in libc6 libstdc++6 libqt6core6 libqt6widgets6 libqt6svg6 libportaudio2 libsoxr0; do
  [[ "$depends" == *"$lib"* ]] || fail "Depends lacks $lib: $depends"
done
[[ "$depends" != *libsonvox* && "$depends" != *liblevelcut* ]] || fail "Depends names the package's own libraries"

contents="$(dpkg-deb --contents "$deb" | awk '{ p = $6; for (i = 7; i <= NF; i++) p = p " " $i; print p }')"
outside="$(printf '%s\n' "$contents" | grep -v -e '^\./$' -e '^\./usr/' || true)"
[ -z "$outside" ] || fail "files outside /usr: $outside"
for f in \
  ./usr/lib/ormid/ormid ./usr/lib/ormid/ormid-cli ./usr/lib/ormid/ormid-unitsim ./usr/lib/ormid/ormid-decode \
  ./usr/lib/ormid/libsonvox.so ./usr/lib/ormid/liblevelcut.so "./usr/lib/ormid/ORMID Prog Guide.pdf" \
  "./usr/bin/ormid -> ../lib/ormid/ormid" "./usr/bin/ormid-cli -> ../lib/ormid/ormid-cli" \
  "./usr/bin/ormid-unitsim -> ../lib/ormid/ormid-unitsim" \
  ./usr/share/applications/ormid.desktop ./usr/share/mime/packages/ormid.xml \
  ./usr/share/icons/hicolor/scalable/apps/ormid.svg ./usr/share/icons/hicolor/48x48/apps/ormid.png \
  ./usr/share/metainfo/com.tarlex.ormid.metainfo.xml \
  ./usr/share/man/man1/ormid.1.gz ./usr/share/man/man1/ormid-cli.1.gz ./usr/share/man/man1/ormid-unitsim.1.gz \
  ./usr/share/bash-completion/completions/ormid-cli ./usr/share/bash-completion/completions/ormid-unitsim \
  ./usr/share/doc/ormid/copyright ./usr/share/doc/ormid/changelog.gz; do
  printf '%s\n' "$contents" | grep -qxF -- "$f" || fail "missing: $f"
done

# The program folder is laid out exactly as build/bin, without benchmarks
# and working files.
expected="$(cd "$ORMID_BIN_DIR" && find . -maxdepth 1 -mindepth 1 \
  ! -name 'bench-*' ! -name '*.log' ! -name '*.wav' ! -name '*.ini' ! -name '*.tmp' ! -name Levelcut.txt | sed 's|^\./||' | sort)"
packaged="$(printf '%s\n' "$contents" | sed -n 's|^\./usr/lib/ormid/\([^/]\+\)$|\1|p' | sort)"
[ "$expected" = "$packaged" ] || fail "program folder differs from build/bin:
$(diff <(echo "$expected") <(echo "$packaged"))"
finish
