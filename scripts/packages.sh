# Debian 12 packages that building, running and testing Tidewell need.
# Sourced by scripts/test, scripts/run, scripts/screenshots, scripts/package and scripts/fuzz.
TIDEWELL_PACKAGES=(
    cmake ninja-build g++ pkg-config
    libgtest-dev libgmock-dev libbenchmark-dev
    libwxgtk3.2-dev
    # ui/wx calls GTK itself for accessible roles and widget sizes.
    libgtk-3-dev
    # Backup records: JSON (header-only) and SHA-256 through libcrypto's EVP interface.
    nlohmann-json3-dev libssl-dev
    lrzsz
    man-db
    # GUI tests: a private X server, a light window manager for title bars, the
    # theme's icons, xdotool to drive the program, ImageMagick for screenshots.
    xvfb xauth openbox x11-utils adwaita-icon-theme imagemagick xdotool
)
# scripts/check-accessibility: the accessibility bus and its registry, a session bus to
# start them on, and Python's AT-SPI binding to walk the tree as a screen reader does.
TIDEWELL_ACCESSIBILITY_PACKAGES=(at-spi2-core dbus python3-gi gir1.2-atspi-2.0)
# scripts/package: the .deb and Debian's own validators; debootstrap for --check.
TIDEWELL_PACKAGING_PACKAGES=(dpkg-dev file desktop-file-utils appstream lintian debootstrap)
# resources/art/make-art.sh: only to draw the art again.
TIDEWELL_ART_PACKAGES=(imagemagick librsvg2-bin)
# Only for scripts/fuzz (the fuzz preset): clang with libFuzzer and the sanitizer runtimes;
# python3 for tests/fuzz/make_devsim_seeds.sh, which turns devsim logs into seeds.
TIDEWELL_FUZZ_PACKAGES=(
    cmake ninja-build
    clang-14 libfuzzer-14-dev libclang-rt-14-dev
    python3
)
# Only for scripts/windows: the mingw-w64 cross compiler with posix threads (std::thread),
# wine to run the Windows programs and tests, GoogleTest's source to build it for Windows,
# NSIS (makensis) to write the Windows installer; make and dpkg-source (dpkg-dev) to build
# wxWidgets, libpng and zlib for Windows from Debian's source packages (scripts/wx-for-windows).
TIDEWELL_WINDOWS_PACKAGES=(
    cmake ninja-build
    g++-mingw-w64-x86-64-posix
    wine64 wine
    googletest
    nsis
    make dpkg-dev
)

# Installs what is missing of the packages given (default: TIDEWELL_PACKAGES) as
# root, or prints the exact command and fails.
tidewell_ensure_packages() {
    local wanted=("$@")
    [ ${#wanted[@]} -gt 0 ] || wanted=("${TIDEWELL_PACKAGES[@]}")
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
