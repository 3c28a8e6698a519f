# Sourced by the scripts: installs the Debian packages the build, the tests and the
# demo need, when any of them is missing (through sudo when not root).
zemta_install_deps() {
    local pkgs=(cmake ninja-build g++ pkg-config qt6-base-dev libgtest-dev libgmock-dev
                fonts-liberation "$@")
    local missing=()
    local p
    for p in "${pkgs[@]}"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    echo "Installing: ${missing[*]}"
    local sudo=()
    [ "$(id -u)" -ne 0 ] && sudo=(sudo)
    "${sudo[@]}" apt-get update -qq
    DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
}
