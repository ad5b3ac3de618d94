# The manual pages render without warnings, and ormid-cli's page has a
# block for every command the program offers and names every option.
source "$(dirname "$0")/common.sh"
pages=("$ORMID_MAN_DIR"/*.1)
[ "${#pages[@]}" -eq 3 ] || fail "expected three pages, found: ${pages[*]}"
for page in "${pages[@]}"; do
  name="$(basename "$page" .1)"
  out="$(MANWIDTH=80 man --warnings -l "$page" 2>"$page.err")"
  [ -s "$page.err" ] && fail "$name: $(cat "$page.err")"
  grep -q "^NAME" <<<"$out" || fail "$name: no NAME section"
  grep -q "ORMID $ORMID_VERSION" <<<"$out" || fail "$name: no version in the footer"
  # Lines longer than the width mean text that roff could not break.
  long="$(awk 'length > 80' <<<"$out")"
  [ -z "$long" ] || fail "$name: lines over 80 columns: $long"
done

cli="$ORMID_BIN_DIR/ormid-cli"
md="$ORMID_SOURCE_DIR/docs/man/ormid-cli.1.md"
# "## name ..." blocks of the COMMANDS section, and each block's text.
block() {
  awk -v cmd="$1" '/^# /{ sect = $2 } /^## /{ on = (sect == "COMMANDS" && $2 == cmd) ; next } on' "$md"
}
commands="$("$cli" --help | awk '/^Subcommands:/{on=1; next} /^[^ ]/{on=0} on && /^  [^ ]/{print $1}')"
[ -n "$commands" ] || fail "no commands in ormid-cli --help"
for cmd in $commands; do
  grep -q "^## $cmd\b" <(sed -n '/^# COMMANDS/,/^# [A-Z]/p' "$md") || { fail "ormid-cli.1: no block for '$cmd'"; continue; }
  text="$(sed -n "/^## $cmd\b/p" "$md"; block "$cmd")"
  for opt in $("$cli" "$cmd" --help | grep -o -- '--[a-z][a-z-]*' | sort -u); do
    [ "$opt" = --help ] && continue
    grep -qF -- "*$opt*" <<<"$text" || fail "ormid-cli.1: '$cmd' block does not name $opt"
  done
done
for opt in $("$cli" --help | sed -n '/^Options:/,/^$/p' | grep -o -- '--[a-z][a-z-]*' | sort -u); do
  grep -qF -- "*$opt*" "$md" || fail "ormid-cli.1: no $opt"
done
for opt in $("$ORMID_BIN_DIR/ormid-unitsim" --help | sed -n '/^Options:/,/^$/p' | grep -o -- '--[a-z][a-z-]*' | sort -u); do
  grep -qF -- "*$opt*" "$ORMID_SOURCE_DIR/docs/man/ormid-unitsim.1.md" || fail "ormid-unitsim.1: no $opt"
done
finish
