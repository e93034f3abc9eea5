# Shared by scripts/run and scripts/test: installs what a fresh Debian 12 machine lacks, then
# configures and builds one build tree.

VELKON_ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"

# Packages the build, the tests and the window need (a font with Cyrillic glyphs and Qt's own
# Russian texts included; libxlsxwriter for velkon-cli's Excel report; zlib and fontconfig for
# the PDF report, its streams deflated and DejaVu Sans found and embedded).
VELKON_PACKAGES=(cmake ninja-build g++ pkg-config qt6-base-dev libgl-dev libgtest-dev libgmock-dev
                 libbenchmark-dev nlohmann-json3-dev libxlsxwriter-dev zlib1g-dev libfontconfig-dev
                 fonts-dejavu-core qt6-translations-l10n xvfb xauth)

# What only the tests need: independent readers of the reports we write, the PDFs (pdftotext)
# and the Excel workbooks (openpyxl).
VELKON_TEST_PACKAGES=(poppler-utils python3-openpyxl)

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

# The fuzz targets: Debian's clang and its libFuzzer runtime, and one program per answer path.
VELKON_FUZZ_PACKAGES=(clang-14 libclang-rt-14-dev)
VELKON_FUZZ_TARGETS=(fuzz_readings fuzz_version fuzz_mode fuzz_configuration fuzz_live_data
                     fuzz_imei fuzz_exchange fuzz_numbers fuzz_profile fuzz_calibration_csv)

# velkon_fuzz SECONDS: builds build/fuzz and runs every fuzz target for SECONDS, starting from its
# seed corpus in fuzz/corpus/ and from what earlier runs found (build/fuzz/found/, so the
# repository's seeds stay as they are). Fails at the first target that crashes or breaks one of
# its checks; the input that did it is kept as build/fuzz/crash-<target>-*.
velkon_fuzz() {
    local seconds="$1"
    velkon_install_packages "${VELKON_FUZZ_PACKAGES[@]}"
    cmake -S "$VELKON_ROOT" -B build/fuzz -G Ninja -DCMAKE_CXX_COMPILER=clang++-14 \
        -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVELKON_FUZZ=ON -DVELKON_WERROR=ON \
        -DVELKON_BUILD_UI=OFF -DVELKON_BUILD_BENCH=OFF
    cmake --build build/fuzz -j "$(nproc)" --target "${VELKON_FUZZ_TARGETS[@]}"
    local target
    for target in "${VELKON_FUZZ_TARGETS[@]}"; do
        echo "-- $target: ${seconds} s"
        mkdir -p "build/fuzz/found/$target"
        # -jobs/-workers stay at one: the machine is shared, and one process keeps the
        # report readable.
        if ! "build/fuzz/fuzz/$target" -max_total_time="$seconds" -timeout=10 -print_final_stats=1 \
                -artifact_prefix="build/fuzz/crash-$target-" \
                "build/fuzz/found/$target" "fuzz/corpus/$target" >"build/fuzz/$target.log" 2>&1; then
            tail -n 40 "build/fuzz/$target.log" >&2
            echo "The fuzz target $target failed; its input is in build/fuzz/crash-$target-*." >&2
            return 1
        fi
        grep -a -E "^stat::number_of_executed_units|^Done" "build/fuzz/$target.log" || true
    done
}
