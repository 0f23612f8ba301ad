# Debian packages the project needs, installed only when missing.
# Usage: halvik_install_deps run|test
halvik_install_deps() {
    local pkgs=(cmake ninja-build g++ pkg-config libgtest-dev libmodbus-dev
                qt6-base-dev qt6-base-dev-tools libgl-dev fonts-wqy-microhei
                nlohmann-json3-dev libcli11-dev)
    if [ "${1:-}" = run ]; then
        pkgs+=(qt6-qpa-plugins)
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
