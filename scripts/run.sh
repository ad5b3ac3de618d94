#!/usr/bin/env bash
# Installs what is needed, builds ORMID and starts it.
#
#   scripts/run.sh          build and start the ORMID program
#   scripts/run.sh --demo   also start a simulated unit (ormid-unitsim), so the
#                           "Read / Write Unit" dialog has a unit to talk to
set -euo pipefail
cd "$(dirname "$0")/.."

usage() {
  sed -n '2,7p' "$0" | sed 's/^# \{0,1\}//'
}

demo=0
for arg in "$@"; do
  case "$arg" in
    --demo) demo=1 ;;
    -h|--help) usage; exit 0 ;;
    *) echo "run.sh: unknown option $arg" >&2; usage >&2; exit 2 ;;
  esac
done

scripts/install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j "$(nproc)"

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  cat >&2 <<'MSG'
run.sh: ORMID is built, but there is no display to show it on.
  On a machine without a screen, run it on a virtual display:
      xvfb-run -a scripts/run.sh            (add --demo for a simulated unit)
  or work headless with the command-line program:
      build/bin/ormid-cli --help
MSG
  exit 1
fi

sim_pid=""
cleanup() {
  if [ -n "$sim_pid" ]; then
    kill "$sim_pid" 2>/dev/null || true
    wait "$sim_pid" 2>/dev/null || true
  fi
}
trap cleanup EXIT

if [ "$demo" = 1 ]; then
  if [ -x build/bin/ormid-unitsim ]; then
    sim_out="$(mktemp)"
    build/bin/ormid-unitsim >"$sim_out" 2>&1 &
    sim_pid=$!
    # The simulator names its port on its first line.
    port=""
    for _ in $(seq 1 50); do
      port="$(sed -n 's/^port: //p' "$sim_out" | head -n1)"
      [ -n "$port" ] && break
      kill -0 "$sim_pid" 2>/dev/null || break
      sleep 0.1
    done
    if [ -n "$port" ]; then
      echo "run.sh: simulated unit on $port: choose it in \"Read / Write Unit\", \"Comm Port\"."
    else
      echo "run.sh: the simulated unit did not start:" >&2
      cat "$sim_out" >&2
    fi
  else
    echo "run.sh: build/bin/ormid-unitsim is not built yet; starting ORMID without a simulated unit." >&2
  fi
fi

build/bin/ormid
