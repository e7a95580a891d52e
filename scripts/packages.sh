# Debian 12 packages that building, running and testing Tidewell need.
# Sourced by scripts/test, scripts/run and scripts/fuzz.
TIDEWELL_PACKAGES=(
    cmake ninja-build g++ pkg-config
    libgtest-dev libgmock-dev libbenchmark-dev
    libwxgtk3.2-dev
    lrzsz
    xvfb xauth imagemagick xdotool
)
# Only for scripts/fuzz (the fuzz preset): clang with libFuzzer and the sanitizer runtimes.
TIDEWELL_FUZZ_PACKAGES=(
    cmake ninja-build
    clang-14 libfuzzer-14-dev libclang-rt-14-dev
)

# Installs what is missing (as root), or prints the exact command and fails.
# Usage: tidewell_ensure_packages [PACKAGE...]   (default: TIDEWELL_PACKAGES)
tidewell_ensure_packages() {
    local wanted=("$@")
    [ ${#wanted[@]} -eq 0 ] && wanted=("${TIDEWELL_PACKAGES[@]}")
    local missing=()
    local pkg
    for pkg in "${wanted[@]}"; do
        if ! dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q 'install ok installed'; then
            missing+=("$pkg")
        fi
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    if [ "$(id -u)" -eq 0 ]; then
        echo "Installing missing packages: ${missing[*]}"
        apt-get update -qq
        DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}"
    else
        echo "Missing Debian packages: ${missing[*]}" >&2
        echo "Install them with:" >&2
        echo "  sudo apt-get update && sudo apt-get install -y --no-install-recommends ${missing[*]}" >&2
        return 1
    fi
}
