# The package unpacked into a scratch root and used from there, as an
# operator would after installing it: versions, an image made and listed,
# manual pages, desktop files, and the working files of a program folder
# that cannot be written.
source "$(dirname "$0")/common.sh"
deb="$(deb_file)"
[ -n "$deb" ] || { fail "no package"; finish; }

scratch="$(mktemp -d)"
trap 'chmod -R u+w "$scratch" 2>/dev/null; rm -rf "$scratch"' EXIT
chmod 755 "$scratch"
root="$scratch/root"
dpkg -x "$deb" "$root" || { fail "dpkg -x"; finish; }
bin="$root/usr/bin"

for prog in ormid ormid-cli ormid-unitsim; do
  out="$("$bin/$prog" --version 2>&1)"
  [ "$out" = "$prog $ORMID_VERSION" ] || fail "$prog --version said: $out"
done

image="$scratch/shop.txi"
"$bin/ormid-cli" new "$image" || fail "ormid-cli new"
list="$("$bin/ormid-cli" list "$image")" || fail "ormid-cli list"
[ "$(printf '%s\n' "$list" | wc -l)" -eq 8 ] || fail "list did not give eight rows: $list"

for page in "$root"/usr/share/man/man1/*.1.gz; do
  err="$(MANWIDTH=80 man --warnings -l "$page" 2>&1 >/dev/null)"
  [ -z "$err" ] || fail "$(basename "$page"): $err"
done

# The desktop entry and the .txi file type, as the desktop would take them.
bash "$(dirname "$0")/check-desktop-files.sh" "$root/usr/share" || fail "desktop files"
if command -v appstreamcli >/dev/null; then
  appstreamcli validate --no-net "$root"/usr/share/metainfo/*.metainfo.xml || fail "appstreamcli validate"
fi

# An installed program folder is not writable: working files go to the
# user's data folder. Root writes anywhere, so the programs run as nobody.
home="$scratch/home"
mkdir -p "$home/.local/share/ORMID" "$home/run"
printf '[DEBUG]\nLog=1\n' >"$home/.local/share/ORMID/TXDoruvevAzad.ini"
chmod -R a-w "$root/usr/lib/ormid"
as_user=(env)
if [ "$(id -u)" -eq 0 ]; then
  chown -R 65534:65534 "$home"
  as_user=(setpriv --reuid=65534 --regid=65534 --clear-groups env)
fi
chmod 700 "$home/run"
user_env=(-u XDG_DATA_HOME -u XDG_CONFIG_HOME -u ORMID_WORKING_FOLDER
          HOME="$home" XDG_RUNTIME_DIR="$home/run" PATH="$bin:/usr/bin:/bin")

doctor="$("${as_user[@]}" "${user_env[@]}" ormid-cli doctor 2>&1)"
printf '%s\n' "$doctor"
grep -qF "program folder:  $root/usr/lib/ormid/ (read-only)" <<<"$doctor" || fail "doctor: program folder"
grep -qF "working folder:  $home/.local/share/ORMID/ " <<<"$doctor" || fail "doctor: working folder"
grep -qF "settings:        $home/.config/Tarlex/ORMID.conf" <<<"$doctor" || fail "doctor: settings"
grep -qF "user guide:      $root/usr/lib/ormid/ORMID Prog Guide.pdf" <<<"$doctor" ||
  fail "doctor: guide"
grep -qF "(missing)" <<<"$doctor" && fail "doctor: the guide is not found in the program folder"
grep -qF "TXDoruvevAzad.ini (log on)" <<<"$doctor" || fail "doctor: debug INI"

if command -v xvfb-run >/dev/null; then
  "${as_user[@]}" "${user_env[@]}" xvfb-run -a ormid --auto-close 1500 --grab "$home/panel.png" ||
    fail "ormid under xvfb"
  [ -s "$home/panel.png" ] || fail "ormid drew no panel"
  [ -s "$home/.local/share/ORMID/ORMID.log" ] || fail "no ORMID.log in the data folder"
  ls "$root/usr/lib/ormid" | grep -qv -e '^ormid' -e '\.so$' -e '\.pdf$' &&
    fail "working files in the program folder: $(ls "$root/usr/lib/ormid")"
  [ -s "$home/.config/Tarlex/ORMID.conf" ] || fail "no settings written"
fi
finish
