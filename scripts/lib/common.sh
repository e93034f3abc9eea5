# Shared by scripts/run and scripts/test: installs what a fresh Debian 12 machine lacks, then
# configures and builds one build tree.

VELKON_ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"

# Packages the build, the tests and the window need (a font with Cyrillic glyphs included).
VELKON_PACKAGES=(cmake ninja-build g++ pkg-config qt6-base-dev libgl-dev libgtest-dev libgmock-dev
                 libbenchmark-dev nlohmann-json3-dev fonts-dejavu-core xvfb xauth)

# What building and checking the Debian package needs besides the build itself.
VELKON_PACKAGING_PACKAGES=(dpkg-dev file lintian desktop-file-utils appstream man-db)

velkon_install_packages() {
    local missing=()
    local pkg
    for pkg in "$@"; do
        if ! dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q "install ok installed"; then
            missing+=("$pkg")
        fi
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    echo "Installing: ${missing[*]}"
    local sudo=()
    if [ "$(id -u)" -ne 0 ]; then
        sudo=(sudo)
    fi
    "${sudo[@]}" apt-get update
    "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive \
        apt-get install -y --no-install-recommends -o DPkg::Lock::Timeout=600 "${missing[@]}"
}

# velkon_build DIR [cmake options...]: configures (once) and builds everything in DIR.
velkon_build() {
    local dir="$1"
    shift
    cmake -S "$VELKON_ROOT" -B "$dir" -G Ninja "$@"
    cmake --build "$dir" -j "$(nproc)"
}
