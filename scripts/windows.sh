#!/usr/bin/env bash
# Builds halvik-cli.exe and the Windows test suites with mingw-w64 into
# build-win, and tests them under Wine: the suites, then halvik-cli.exe
# against virtual drivers of the native build, served on pseudo-terminals
# that Wine maps as COM5 and COM6. One line per check (a suite counts its
# tests), then "N passed, N failed"; exit status 1 when a check failed.
# Usage: scripts/windows.sh [NATIVE-BUILD]  (default build; its halvik-sim
# and halvik-cli are built there when missing). JOBS sets the build's jobs.
set -uo pipefail
cd "$(dirname "$0")/.."
source scripts/deps.sh
halvik_install_deps windows
native=${1:-build}
out=build-win
jobs=${JOBS:-$(nproc 2>/dev/null || echo 2)}
passed=0
failed=0

pass() {
    passed=$((passed + ${2:-1}))
    echo "ok    $1"
}
fail() { # name [count] [details]
    failed=$((failed + ${2:-1}))
    echo "FAIL  $1"
    [ -n "${3:-}" ] && sed 's/^/      /' <<<"$3"
}
# check NAME COMMAND...: passes when COMMAND succeeds; its output is shown
# when it does not.
check() {
    local name=$1 text
    shift
    if text=$("$@" 2>&1); then pass "$name"; else fail "$name" 1 "$text"; fi
}
finish() {
    echo "$passed passed, $failed failed"
    [ "$failed" -eq 0 ]
    exit
}

export WINEPREFIX=$PWD/$out/wine WINEARCH=win64 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
unset DISPLAY
scratch=$(mktemp -d)
sims=()
cleanup() {
    for p in "${sims[@]}"; do kill "$p" 2>/dev/null; done
    timeout 30 wineserver -k 2>/dev/null
    rm -rf "$scratch"
}
trap cleanup EXIT

# --- Build ------------------------------------------------------------------
echo "=== windows: configure and build ($out)"
launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
# -O1: the programs are as quick as they need to be under Wine, and the build
# is shorter than at -O2.
if ! cmake -S . -B "$out" -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake \
    -DCMAKE_BUILD_TYPE=Release -DCMAKE_CXX_FLAGS_RELEASE="-O1" -DHALVIK_WERROR=ON -DHALVIK_GUI=OFF \
    "${launcher[@]}" >"$scratch/configure.log" 2>&1 ||
    ! cmake --build "$out" -j "$jobs" >"$scratch/build.log" 2>&1; then
    fail "build: halvik-cli.exe and the suites" 1 "$(tail -30 "$scratch/configure.log" "$scratch/build.log")"
    finish
fi
pass "build: halvik-cli.exe and the suites"
# Only the system's DLLs: no MinGW runtime has to travel with the program.
alone() {
    local dlls
    dlls=$(x86_64-w64-mingw32-objdump -p "$out/cli/halvik-cli.exe" | sed -n 's/^\tDLL Name: //p')
    echo "$dlls"
    [ -n "$dlls" ] && ! grep -viE '^(kernel32|msvcrt|advapi32|shell32|user32|ws2_32)\.dll$' <<<"$dlls"
}
check "halvik-cli.exe needs no DLL but the system's" alone
if [ ! -x "$native/sim/halvik-sim" ] || [ ! -x "$native/cli/halvik-cli" ]; then
    echo "=== windows: the virtual driver and the native command line ($native)"
    [ -f "$native/CMakeCache.txt" ] ||
        cmake -S . -B "$native" -G Ninja -DHALVIK_GUI=OFF -DHALVIK_BENCH=OFF >/dev/null
    cmake --build "$native" -j "$jobs" --target halvik-sim halvik-cli >/dev/null
fi
exe=$PWD/$out/cli/halvik-cli.exe
sim=$PWD/$native/sim/halvik-sim
cli=$PWD/$native/cli/halvik-cli

# --- Wine -------------------------------------------------------------------
# A private prefix (WINEPREFIX above, without Mono and Gecko), made once per
# run; a persistent wine server so that each program starts in a fraction
# of a second.
echo "=== windows: Wine prefix"
[ -d "$WINEPREFIX" ] && timeout 30 wineserver -k >/dev/null 2>&1 # a server left behind
rm -rf "$WINEPREFIX"
# Wine's programs keep any pipe they inherit open: output goes to files.
if ! timeout 300 wineboot -i >"$scratch/wineboot.log" 2>&1; then
    fail "Wine: a new prefix" 1 "$(tail -20 "$scratch/wineboot.log")"
    finish
fi

# A virtual driver on a pseudo-terminal of its own (no COM link on Linux);
# sets $pty.
start_sim() { # name args...
    local name=$1
    shift
    "$sim" --com -1 "$@" >"$scratch/$name.out" 2>&1 &
    sims+=($!)
    for _ in $(seq 50); do
        pty=$(awk '{print $2}' "$scratch/$name.out" 2>/dev/null)
        [ -n "$pty" ] && return 0
        sleep 0.1
    done
    return 1
}
# COM5: the default line (9600, no parity), for the suites and the reads;
# COM6: 115200, for the exports (quicker) and a line set through the port's
# DCB. (Not odd parity: a pseudo-terminal left at odd parity refuses odd
# parity again, on Linux as under Wine.)
if ! start_sim com5 || ! pty5=$pty || ! start_sim com6 --line 115200,n1 || ! pty6=$pty; then
    fail "virtual drivers" 1 "$(cat "$scratch"/com*.out)"
    finish
fi
# Wine's own mapping: each value of HKLM\Software\Wine\Ports becomes a
# dosdevices link (comN -> the device) and an entry in SERIALCOMM when the
# server starts.
{
    timeout 60 wine reg add 'HKLM\Software\Wine\Ports' /v COM5 /d "$pty5" /f &&
        timeout 60 wine reg add 'HKLM\Software\Wine\Ports' /v COM6 /d "$pty6" /f &&
        timeout 30 wineserver -k && timeout 30 wineserver -w
} >"$scratch/ports.log" 2>&1
timeout 600 wineserver -p >/dev/null 2>&1
mapped() {
    timeout 60 wine cmd /c ver >/dev/null 2>&1 # starts the device manager, which maps them
    [ "$(readlink "$WINEPREFIX/dosdevices/com5")" = "$pty5" ] &&
        [ "$(readlink "$WINEPREFIX/dosdevices/com6")" = "$pty6" ]
}
check "Wine maps COM5 to $pty5 and COM6 to $pty6" mapped

# --- The suites ---------------------------------------------------------------
echo "=== windows: suites under Wine"
while read -r t; do
    [ -n "$t" ] || continue
    log=$scratch/$t.log
    HALVIK_TEST_COM=5 timeout 120 wine "$out/tests/windows/$t.exe" >"$log" 2>&1
    rc=$?
    ok=$(sed -nE 's/^\[  PASSED  \] ([0-9]+) tests?\..*/\1/p' "$log" | tail -1)
    bad=$(sed -nE 's/^\[  FAILED  \] ([0-9]+) tests?, listed below.*/\1/p' "$log" | tail -1)
    skipped=$(sed -nE 's/^\[  SKIPPED \] ([0-9]+) tests?, listed below.*/\1/p' "$log" | tail -1)
    ok=${ok:-0} bad=${bad:-0}
    # A skipped test is one that did not run: counted as failed.
    bad=$((bad + ${skipped:-0}))
    [ "$rc" -ne 0 ] && [ "$bad" -eq 0 ] && bad=1 # crashed or timed out
    [ "$ok" -gt 0 ] && pass "$t: $ok tests" "$ok"
    [ "$bad" -gt 0 ] && fail "$t: $bad failed (exit $rc)" "$bad" "$(grep -E 'Failure|FAILED|SKIPPED|rror' "$log" | head -30)"
done <"$out/windows-tests.txt"

# --- halvik-cli.exe against the virtual drivers --------------------------------
echo "=== windows: halvik-cli.exe under Wine"
w() { timeout 120 wine "$exe" "$@"; }
fast=(--baud 115200 --framing n1)

ports() {
    w ports | tr -d '\r' >"$scratch/ports.txt" &&
        grep -E '^COM5 ' "$scratch/ports.txt" && grep -E '^COM6 ' "$scratch/ports.txt"
}
check "ports lists COM5 and COM6 from the registry" ports
info() {
    "$cli" --port "$pty5" info >"$scratch/n.txt" &&
        w --port COM5 info | tr -d '\r' >"$scratch/w.txt" && diff "$scratch/n.txt" "$scratch/w.txt"
}
check "info: the same text as the Linux command line's" info
# The status values move with the virtual motor: the fields and their order.
status() {
    "$cli" --port "$pty5" status | awk '{print $1}' >"$scratch/n.txt" &&
        w --port COM5 status | tr -d '\r' | awk '{print $1}' >"$scratch/w.txt" &&
        [ -s "$scratch/n.txt" ] && diff "$scratch/n.txt" "$scratch/w.txt"
}
check "status: the same fields as the Linux command line's" status
# The exports are made moments apart: all but their "time" line must match
# byte for byte (the device's identification text, CR LF in it, included).
export_same() {
    "$cli" --port "$pty6" "${fast[@]}" export "$scratch/n.json" >/dev/null &&
        w --port COM6 "${fast[@]}" export "Z:$scratch/w.json" >/dev/null &&
        [ "$(grep -c '^  "time": ' "$scratch/w.json")" = 1 ] &&
        cmp <(grep -v '^  "time": ' "$scratch/n.json") <(grep -v '^  "time": ' "$scratch/w.json")
}
check "export: byte for byte the Linux export but the time (at 115200)" export_same
import_block() {
    sed '0,/"acceleration": "500.0 Hz\/s"/s//"acceleration": "600.0 Hz\/s"/' "$scratch/n.json" \
        >"$scratch/edited.json"
    ! cmp -s "$scratch/n.json" "$scratch/edited.json" &&
        w --port COM6 "${fast[@]}" import "Z:$scratch/edited.json" --yes &&
        "$cli" --port "$pty6" "${fast[@]}" read ramp | grep -E '^  acceleration +600\.0 Hz/s'
}
check "import writes the edited ramp block, the Linux command line reads it back" import_block
check "export after the import: again the Linux export but the time" export_same
wrong_line() {
    w --port COM6 --timeout 200 info
    [ $? = 3 ]
}
check "a line the driver is not set to gets no answer (exit 3)" wrong_line
no_port() {
    w --port COM9 info 2>"$scratch/err.txt"
    [ $? = 3 ] && grep -F 'COM9: no such port (the system has no COM9' "$scratch/err.txt"
}
check "a COM number the system lacks is named (exit 3)" no_port

# Ctrl-C (Wine turns SIGINT into the console's Ctrl-C) ends a watch cleanly,
# and a driver that goes away ends it at once with exit 3.
watch() { # signal-target: ctrl-c or sim
    timeout 60 wine "$exe" --port COM5 status --watch --interval 100 >"$scratch/watch.out" \
        2>"$scratch/watch.err" &
    local t=$! p rc start
    sleep 2
    if [ "$1" = ctrl-c ]; then
        p=$(pgrep -P "$t" | head -1)
        [ -n "$p" ] && kill -INT "$p"
    else
        kill "${sims[0]}"
    fi
    start=$(date +%s%N)
    wait "$t"
    rc=$?
    cat "$scratch/watch.err"
    # At once: well before the next sample would time out.
    echo "ended $((($(date +%s%N) - start) / 1000000)) ms after, exit $rc"
    [ $((($(date +%s%N) - start) / 1000000)) -lt 3000 ] || return 1
    [ "$1" = ctrl-c ] && [ $rc = 0 ] && grep -q '^halvik-cli: link: ' "$scratch/watch.err" && return 0
    [ "$1" = sim ] && [ $rc = 3 ] && grep -q 'the device was removed' "$scratch/watch.err"
}
check "Ctrl-C ends status --watch with the link summary (exit 0)" watch ctrl-c
check "the driver going away ends status --watch at once (exit 3)" watch sim

finish
