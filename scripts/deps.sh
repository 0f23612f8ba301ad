# Debian packages the project needs, installed only when missing.
# Usage: halvik_install_deps run|test|bench|package|windows
# "bench" adds what only the benchmark needs: Qt Serial Bus (its client is
# one of the peers measured), valgrind and strace (instruction and system call
# counts). Without them the benchmark is not built or reports n/a.
# Every build makes the translations with Qt's Linguist tools
# (qt6-l10n-tools); "run" and "test" add Qt's own translations
# (qt6-translations-l10n), which its dialogs and buttons are shown in.
# "package" adds what CPack needs for the .deb (dpkg-shlibdeps finds its
# dependencies); "test" adds that and the package checks' tools.
# "windows" adds the cross build for Windows and Wine to test it in
# (scripts/windows.sh); "test" adds that too.
halvik_install_deps() {
    local pkgs=(cmake ninja-build g++ pkg-config libgtest-dev libmodbus-dev
                qt6-base-dev qt6-base-dev-tools libgl-dev fonts-wqy-microhei
                nlohmann-json3-dev libcli11-dev libqcustomplot-dev qt6-l10n-tools)
    if [ "${1:-}" = run ]; then
        pkgs+=(qt6-qpa-plugins qt6-translations-l10n)
    fi
    if [ "${1:-}" = bench ]; then
        pkgs+=(qt6-serialbus-dev valgrind strace qt6-charts-dev libqt6opengl6-dev)
    fi
    if [ "${1:-}" = package ] || [ "${1:-}" = test ]; then
        pkgs+=(dpkg-dev file)
    fi
    if [ "${1:-}" = windows ] || [ "${1:-}" = test ]; then
        # mingw-w64 with posix threads (std::thread), GoogleTest's sources to
        # build for Windows, Wine to run the result, pgrep to signal it.
        pkgs+=(g++-mingw-w64-x86-64-posix googletest wine wine64 procps)
    fi
    if [ "${1:-}" = test ]; then
        pkgs+=(qt6-translations-l10n)
        pkgs+=(clang libclang-rt-14-dev) # the fuzz targets (libFuzzer)
        pkgs+=(lintian desktop-file-utils appstream man-db)
    fi
    local missing=()
    for p in "${pkgs[@]}"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    echo "Installing: ${missing[*]}"
    local sudo=""
    [ "$(id -u)" -ne 0 ] && sudo="sudo"
    export DEBIAN_FRONTEND=noninteractive
    $sudo apt-get update -qq
    $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
}
