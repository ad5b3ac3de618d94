#!/usr/bin/env bash
# Checks that the C++ files follow .clang-format: those changed against the
# commit the check last passed on (origin/main, or the whole tree without one),
# and those not committed yet. Prints the files that differ; exit 1 then.
set -euo pipefail
cd "$(dirname "$0")/.."
command -v clang-format >/dev/null || { echo "check-format: clang-format is not installed"; exit 1; }
base="$(git merge-base HEAD origin/main 2>/dev/null || true)"
if [ -n "$base" ] && [ "$base" != "$(git rev-parse HEAD)" ]; then
  mapfile -t files < <({ git diff --name-only --diff-filter=d "$base"; git diff --name-only --diff-filter=d HEAD; git ls-files --others --exclude-standard; } | grep -E '^(src|tests|bench)/.*\.(cpp|h|c)$' | sort -u)
else
  mapfile -t files < <({ git ls-files 'src/*.cpp' 'src/*.h' 'src/*.c' 'tests/*.cpp' 'tests/*.h' 'tests/*.c' 'bench/*.cpp' 'bench/*.h'; git ls-files --others --exclude-standard | grep -E '^(src|tests|bench)/.*\.(cpp|h|c)$' || true; } | sort -u)
fi
bad=0
for f in "${files[@]}"; do
  [ -f "$f" ] || continue
  if ! clang-format --dry-run -Werror "$f" >/dev/null 2>&1; then
    echo "check-format: $f differs from .clang-format (clang-format -i $f)"
    bad=1
  fi
done
[ "$bad" -eq 0 ] && echo "check-format: ${#files[@]} files follow .clang-format"
exit "$bad"
