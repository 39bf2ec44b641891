# The Debian LV2 plug-ins Zerub is measured against; sourced by the scripts that measure them.
peer_packages=(guitarix-lv2 calf-plugins invada-studio-plugins-lv2 lsp-plugins-lv2)

# Installs the missing peer packages (as root or through sudo); a failure only warns, and the
# caller skips what is not there. $1 names the caller in its messages.
install_peers() {
    local missing=() pkg sudo=""
    for pkg in "${peer_packages[@]}"; do
        dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q 'ok installed' || missing+=("$pkg")
    done
    ((${#missing[@]})) || return 0
    [[ $(id -u) -eq 0 ]] || sudo=sudo
    echo "$1: installing ${missing[*]}" >&2
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends \
        "${missing[@]}" >&2 || echo "$1: could not install every peer" >&2
}
