# Sourced by the scripts: installs the Debian packages the build, the tests and the
# demo need, when any of them is missing (through sudo when not root).

# Installs those of the given packages that are missing.
zemta_install_packages() {
    local missing=()
    local p
    for p in "$@"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    echo "Installing: ${missing[*]}"
    zemta_apt install "${missing[@]}"
}

# Refreshes the package lists and runs "apt-get <command> <arguments>" quietly, without
# questions or recommended packages, through sudo when not root.
zemta_apt() {
    local sudo=()
    [ "$(id -u)" -ne 0 ] && sudo=(sudo)
    "${sudo[@]}" apt-get update -qq
    DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get "$1" -y -qq --no-install-recommends "${@:2}"
}

# What the build and the tests need, and any further packages given.
zemta_install_deps() {
    zemta_install_packages cmake ninja-build g++ pkg-config qt6-base-dev gettext \
        libgtest-dev libgmock-dev fonts-liberation qt6-translations-l10n "$@"
}

# What the Windows build's window needs under Wine (tests and benchmark): Wine, a
# virtual display with a window manager, XTEST clicks, and xprop/xwininfo.
zemta_wine_desktop_packages=(wine wine64 xvfb xdotool x11-utils openbox)

# What the Ansible collection's test needs (tests/ansible/run).
zemta_ansible_packages=(ansible-core)
