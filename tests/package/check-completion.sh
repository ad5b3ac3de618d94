# Bash completion of ormid-cli and ormid-unitsim, run against the built
# programs: commands and options come from their --help, files are filtered
# by kind, --port offers the ports ormid-cli lists (here a running simulator).
source "$(dirname "$0")/common.sh"
source "$ORMID_SOURCE_DIR/src/package/ormid-cli.bash"

work="$(mktemp -d)"
sim_pid=""
trap '[ -n "$sim_pid" ] && kill "$sim_pid" 2>/dev/null; wait 2>/dev/null; rm -rf "$work"' EXIT
export XDG_RUNTIME_DIR="$work/run"
mkdir -p "$XDG_RUNTIME_DIR" "$work/files/sub"
cd "$work/files" || exit 1
touch a.txi b.wav c.txt "d e.TXI" F.WAV

cli="$ORMID_BIN_DIR/ormid-cli"
sim="$ORMID_BIN_DIR/ormid-unitsim"
# complete WORD... : COMPREPLY for the last word, sorted, one line.
complete_words() {
  COMP_WORDS=("$@")
  COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
  COMPREPLY=()
  if [[ ${COMP_WORDS[0]} == *unitsim ]]; then _ormid_unitsim; else _ormid_cli; fi
  printf '%s\n' "${COMPREPLY[@]}" | sort | tr '\n' ' ' | sed 's/ $//'
}
expect() {
  local want="$1"; shift
  local got
  got="$(complete_words "$@")"
  [ "$got" = "$want" ] || fail "completing '${*:2}': want [$want], got [$got]"
}

expect "delete devices doctor" "$cli" d
got="$(complete_words "$cli" "")"
for cmd in append delete devices doctor export import list new ports read set silence write; do
  [[ " $got " == *" $cmd "* ]] || fail "command $cmd not offered: $got"
done
expect "--help --version --yes" "$cli" --
expect "--yes" "$cli" --y
expect "a.txi d e.TXI sub" "$cli" import ""
expect "a.txi d e.TXI sub" "$cli" -y list ""
expect "1 2 3 4 5 6 7 8" "$cli" import a.txi ""
expect "F.WAV b.wav sub" "$cli" import a.txi 3 ""
expect "F.WAV b.wav sub" "$cli" import --name Hello a.txi 3 ""
expect "F.WAV b.wav sub" "$cli" export a.txi 3 ""
expect "--convert --count --help --name" "$cli" import --
expect "--convert --help" "$cli" append --
expect "F.WAV b.wav sub" "$cli" append a.txi 3 ""
expect "1 2 3 4 5 6 7 8" "$cli" silence a.txi ""
expect "" "$cli" silence a.txi 3 ""
expect "--force" "$cli" new --f
expect "--help --json --match" "$cli" loudness --
expect "" "$cli" loudness --match ""
expect "" "$cli" import a.txi 3 b.wav ""
expect "115200 57600" "$cli" write --baud ""
expect "a.txi d e.TXI sub" "$cli" write --baud 57600 ""
expect "--dry-run" "$cli" write --dr
expect "--dry-run" "$cli" verify --dr
expect "a.txi d e.TXI sub" "$cli" write --dry-run --json ""

"$sim" --fast >"$work/sim.out" 2>&1 &
sim_pid=$!
port=""
for _ in $(seq 1 50); do
  port="$(sed -n 's/^port: //p' "$work/sim.out")"
  [ -n "$port" ] && break
  sleep 0.1
done
[ -n "$port" ] || fail "the simulator did not start: $(cat "$work/sim.out")"
got="$(complete_words "$cli" read --port "")"
[[ " $got " == *" $port "* ]] || fail "--port does not offer $port: [$got]"
got="$(complete_words "$cli" read --port /dev/pts/)"
[[ " $got " == *" $port "* ]] || fail "--port /dev/pts/ does not offer $port: [$got]"
# The network ports the program remembers, without their "(network)" mark.
export XDG_CONFIG_HOME="$work/config"
mkdir -p "$XDG_CONFIG_HOME/Tarlex"
printf '[Settings]\nNetwork%%20ports=rfc2217://127.0.0.1:3001 tcp://127.0.0.1:3002\n' >"$XDG_CONFIG_HOME/Tarlex/ORMID.conf"
got="$(complete_words "$cli" write --port "")"
[[ " $got " == *" rfc2217://127.0.0.1:3001 "* && " $got " == *" tcp://127.0.0.1:3002 "* ]] ||
  fail "--port does not offer the remembered network ports: [$got]"
[[ " $got " != *"(network)"* ]] || fail "--port offers the mark of a network port: [$got]"

expect "--fast --fault --flash" "$sim" --f
expect "a.txi d e.TXI sub" "$sim" --image ""
got="$(complete_words "$sim" --fault "")"
for kind in no-reply wrong-ack vanish; do
  [[ " $got " == *" $kind "* ]] || fail "--fault does not offer $kind: [$got]"
done
expect "" "$sim" --baud ""
finish
