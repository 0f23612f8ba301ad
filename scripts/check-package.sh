#!/usr/bin/env bash
# Builds the Debian package from a build folder (default: build, already
# built by ./test) and checks it as an installer and a user meet it: lintian,
# the menu entry and the AppStream metadata, the package's contents, the
# programs run from the unpacked package, every manual page rendered and in
# step with the programs' own help. One line per check, then
# "N passed, N failed"; exit status 1 when a check failed.
# Usage: scripts/check-package.sh [BUILD-DIR]
set -uo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
passed=0
failed=0

# check NAME COMMAND...: passes when COMMAND succeeds; its output is shown
# when it does not.
check() {
    local name=$1 out
    shift
    if out=$("$@" 2>&1); then
        passed=$((passed + 1))
        echo "ok    $name"
    else
        failed=$((failed + 1))
        echo "FAIL  $name"
        [ -n "$out" ] && sed 's/^/      /' <<<"$out"
    fi
}

finish() {
    echo "$passed passed, $failed failed"
    [ "$failed" -eq 0 ]
    exit
}

scripts/package.sh "$build" >"$build/package.log" 2>&1
deb=$(tail -1 "$build/package.log")
if [ ! -f "$deb" ]; then
    echo "FAIL  package: scripts/package.sh made none ($build/package.log):"
    tail -20 "$build/package.log" | sed 's/^/      /'
    failed=1
    finish
fi
echo "package: $deb"
version=$(dpkg-deb -f "$deb" Version)
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
chmod 755 "$scratch" # the unprivileged user below must reach the programs
root=$scratch/root
dpkg-deb -x "$deb" "$root"

# Lintian's warnings and errors fail the check; the overrides installed with
# the package (packaging/lintian-overrides) say why each one kept is right.
check "lintian: no errors or warnings" lintian --fail-on error,warning "$deb"

# Exactly the programs and their data: no tests, benchmarks or helpers.
contents() {
    local want got
    want=$(sort <<EOF
usr/bin/halvik-cli
usr/bin/halvik-demo
usr/bin/halvik-sim
usr/share/applications/local.halvik.HalvikDemo.desktop
usr/share/doc/halvik/README
usr/share/doc/halvik/changelog.gz
usr/share/doc/halvik/copyright
usr/share/icons/hicolor/16x16/apps/halvik-demo.png
usr/share/icons/hicolor/22x22/apps/halvik-demo.png
usr/share/icons/hicolor/24x24/apps/halvik-demo.png
usr/share/icons/hicolor/32x32/apps/halvik-demo.png
usr/share/icons/hicolor/48x48/apps/halvik-demo.png
usr/share/icons/hicolor/64x64/apps/halvik-demo.png
usr/share/lintian/overrides/halvik
usr/share/man/man1/halvik-cli.1.gz
usr/share/man/man1/halvik-demo.1.gz
usr/share/man/man1/halvik-sim.1.gz
usr/share/metainfo/local.halvik.HalvikDemo.metainfo.xml
EOF
)
    got=$(cd "$root" && find . -type f -o -type l | sed 's|^\./||' | sort)
    diff <(echo "$want") <(echo "$got")
}
check "contents: the three programs and their data only" contents
check "depends: computed from the libraries linked" \
    grep -q "libqt6widgets6" <(dpkg-deb -f "$deb" Depends)

check "desktop-file-validate" \
    desktop-file-validate "$root/usr/share/applications/local.halvik.HalvikDemo.desktop"
# Passes with infos only: cid-maybe-not-rdns, since ".local" (from the
# maintainers' address, dev@halvik.local) is no top-level domain it knows.
check "appstreamcli validate" \
    appstreamcli validate --no-net "$root/usr/share/metainfo/local.halvik.HalvikDemo.metainfo.xml"

# One version everywhere: the package, each program, the changelog and the
# release in the AppStream metadata.
versions() {
    local p line
    for p in halvik-cli halvik-sim halvik-demo; do
        line=$(env -u DISPLAY -u WAYLAND_DISPLAY "$root/usr/bin/$p" --version) || return 1
        [[ "$line" =~ ^$p\ ${version//./\\.}( \(git [0-9a-f]+(-dirty)?\))?$ ]] ||
            { echo "$p --version: '$line', package $version"; return 1; }
    done
    zcat "$root/usr/share/doc/halvik/changelog.gz" | head -1 | grep -qF "halvik ($version)" ||
        { echo "changelog does not start with $version"; return 1; }
    grep -qF "<release version=\"$version\"" \
        "$root/usr/share/metainfo/local.halvik.HalvikDemo.metainfo.xml" ||
        { echo "no AppStream release $version"; return 1; }
}
check "versions: programs, changelog and AppStream say $version" versions
check "halvik-sim --help runs from the package" \
    grep -q -- "--com N" <("$root/usr/bin/halvik-sim" --help)

# A port the user may not open: the hint names the dialout group. Root may
# open anything, so as root the program runs as nobody.
dialout_hint() {
    local port=$scratch/port status
    : >"$port"
    chmod 000 "$port"
    local run=("$root/usr/bin/halvik-cli")
    [ "$(id -u)" -eq 0 ] && run=(setpriv --reuid=65534 --regid=65534 --clear-groups "${run[@]}")
    "${run[@]}" --port "$port" info >"$scratch/out" 2>&1
    status=$?
    cat "$scratch/out"
    [ "$status" -eq 3 ] && grep -q "sudo usermod -aG dialout" "$scratch/out"
}
check "halvik-cli names the dialout group when a port is not allowed" dialout_hint

# Each page renders without a groff warning and documents every command and
# option its program's help lists.
manpage() { # program words-from-help...
    local page=$root/usr/share/man/man1/$1.1.gz text word
    text=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l "$page" 2>"$scratch/warnings") || return 1
    [ -s "$scratch/warnings" ] && { cat "$scratch/warnings"; return 1; }
    for word in "${@:2}"; do
        grep -qF -- "$word" <<<"$text" || { echo "$1(1) does not mention $word"; return 1; }
    done
    grep -q "^EXIT STATUS" <<<"$text" && grep -q "^FILES" <<<"$text" &&
        grep -q "^EXAMPLES" <<<"$text" || { echo "$1(1) lacks a section"; return 1; }
}
mapfile -t cli_words < <("$root/usr/bin/halvik-cli" --help |
    sed -nE 's/^  (--[a-z-]+|[a-z][a-z-]+( [a-z]+)?) .*/\1/p')
mapfile -t sim_words < <("$root/usr/bin/halvik-sim" --help | grep -oE -- '--[a-z-]+' | sort -u)
mapfile -t demo_words < <("$root/usr/bin/halvik-demo" --help | grep -oE -- '--[a-z-]+' | sort -u)
check "man halvik-cli" manpage halvik-cli "${cli_words[@]}"
check "man halvik-sim" manpage halvik-sim "${sim_words[@]}"
check "man halvik-demo" manpage halvik-demo "${demo_words[@]}"
check "README: ports and permissions" \
    grep -q "usermod -aG dialout" "$root/usr/share/doc/halvik/README"

finish
