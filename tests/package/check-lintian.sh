# lintian's errors fail; its warnings are listed.
source "$(dirname "$0")/common.sh"
deb="$(deb_file)"
[ -n "$deb" ] || { fail "no package"; finish; }
if ! command -v lintian >/dev/null; then
  echo "lintian is not installed (scripts/deps/package.txt): skipped"
  exit 0
fi
report="$(lintian --allow-root --no-tag-display-limit "$deb" 2>&1)"
printf '%s\n' "$report"
errors="$(printf '%s\n' "$report" | grep '^E:' || true)"
[ -z "$errors" ] || fail "lintian errors:
$errors"
finish
