# Shared by scripts/build-windows and scripts/test-windows: the cross-build of the Windows
# program and a throw-away wine session to test it in. Source after lib/common.sh.

# The cross compiler (the -posix variant: std::thread), GoogleTest's sources, the JSON headers,
# zlib built for Windows (the PDF report's streams; linked statically), wine and a virtual
# display for the window, zip for the package.
VELKON_WINDOWS_PACKAGES=(cmake ninja-build g++-mingw-w64-x86-64-posix googletest
                         nlohmann-json3-dev libz-mingw-w64-dev wine wine64 xvfb xauth zip)

VELKON_WINDOWS_BUILD="build/windows"

# velkon_build_windows: configures (once) and builds the Windows program and its tests.
velkon_build_windows() {
    cmake -S "$VELKON_ROOT" -B "$VELKON_ROOT/$VELKON_WINDOWS_BUILD" -G Ninja \
        -DCMAKE_TOOLCHAIN_FILE="$VELKON_ROOT/cmake/mingw-w64-x86_64-posix.cmake" \
        -DCMAKE_BUILD_TYPE=Release -DVELKON_BUILD_UI=OFF -DVELKON_BUILD_BENCH=OFF
    cmake --build "$VELKON_ROOT/$VELKON_WINDOWS_BUILD" -j "$(nproc)"
}

# ---- A throw-away wine session -------------------------------------------------------------
#
# velkon_wine_begin PORT_MAP...: a fresh WINEPREFIX under a virtual display, with the COM ports
# mapped through the registry only: each PORT_MAP is "COMn=/dev/pts/N", and every other COM
# port up to COM64 is mapped to nothing, so wine's own search for ports never hands out a
# machine port (/dev/ttyS0 is the console here) below COM65. A bare dosdevices link would not
# do: wine's mount manager replaces such links when it starts. Fails unless every mapped port's
# dosdevices link resolves to its pseudo-terminal before anything opens a port.
#
# velkon_wine_end: stops the wine server and the display and removes the prefix.

VELKON_WINE_XVFB_PID=""
VELKON_WINE_PREFIX=""

velkon_wine_begin() {
    VELKON_WINE_PREFIX="$(mktemp -d "${TMPDIR:-/tmp}/velkon-wine.XXXXXX")"
    export WINEPREFIX="$VELKON_WINE_PREFIX"
    export WINEARCH=win64
    export WINEDEBUG=-all
    # No Mono or Gecko installers, no menu entries on the host.
    export WINEDLLOVERRIDES="mscoree=;mshtml=;winemenubuilder.exe="

    local display_file="$VELKON_WINE_PREFIX/display"
    Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$display_file" \
        >"$VELKON_WINE_PREFIX/xvfb.log" 2>&1 &
    VELKON_WINE_XVFB_PID=$!
    local waited=0
    until [ -s "$display_file" ]; do
        if ! kill -0 "$VELKON_WINE_XVFB_PID" 2>/dev/null || [ $waited -ge 100 ]; then
            echo "Xvfb did not start: $(cat "$VELKON_WINE_PREFIX/xvfb.log")" >&2
            return 1
        fi
        sleep 0.1
        waited=$((waited + 1))
    done
    export DISPLAY=":$(head -n1 "$display_file")"

    # The first boot creates the prefix; its server ends a moment after the boot does.
    wineboot -i >/dev/null 2>&1
    wineserver -w

    local reg="$VELKON_WINE_PREFIX/ports.reg"
    local mapped=" "
    {
        printf 'Windows Registry Editor Version 5.00\r\n\r\n'
        printf '[HKEY_LOCAL_MACHINE\\Software\\Wine\\Ports]\r\n'
        local map
        for map in "$@"; do
            printf '"%s"="%s"\r\n' "${map%%=*}" "${map#*=}"
            mapped+="${map%%=*} "
        done
        local n
        for n in $(seq 1 64); do
            [[ "$mapped" == *" COM$n "* ]] || printf '"COM%d"=""\r\n' "$n"
        done
    } >"$reg"
    wine regedit /S "$reg"
    # The mount manager reads the ports when it starts: a new server, kept for the whole
    # session, and a boot that starts the mount manager again.
    wineserver -k 2>/dev/null || true
    wineserver -w
    wineserver -p
    wineboot >/dev/null 2>&1

    for map in "$@"; do
        local link="$VELKON_WINE_PREFIX/dosdevices/$(echo "${map%%=*}" | tr 'A-Z' 'a-z')"
        local target
        target="$(readlink "$link" || true)"
        if [ "$target" != "${map#*=}" ]; then
            echo "wine did not map ${map%%=*} to ${map#*=} (found: '${target}')" >&2
            return 1
        fi
    done
}

velkon_wine_end() {
    if [ -n "$VELKON_WINE_PREFIX" ]; then
        WINEPREFIX="$VELKON_WINE_PREFIX" wineserver -k 2>/dev/null || true
        WINEPREFIX="$VELKON_WINE_PREFIX" wineserver -w 2>/dev/null || true
        rm -rf "$VELKON_WINE_PREFIX"
        VELKON_WINE_PREFIX=""
    fi
    if [ -n "$VELKON_WINE_XVFB_PID" ]; then
        kill "$VELKON_WINE_XVFB_PID" 2>/dev/null || true
        wait "$VELKON_WINE_XVFB_PID" 2>/dev/null || true
        VELKON_WINE_XVFB_PID=""
    fi
}

# velkon_start_sim OUT_PREFIX [options...]: starts the Linux simulator, logging every request to
# OUT_PREFIX.log; sets VELKON_SIM_PID and VELKON_SIM_PATH (its pseudo-terminal). Its standard
# input (the "pour N" lines of a tank) comes from VELKON_SIM_INPUT, /dev/null when unset.
velkon_start_sim() {
    local out="$1"
    shift
    rm -f "$out.path" "$out.log"  # a path left from an earlier run must not be taken for this one
    "$VELKON_SIM" -v "$@" <"${VELKON_SIM_INPUT:-/dev/null}" >"$out.path" 2>"$out.log" &
    VELKON_SIM_PID=$!
    local waited=0
    until [ -s "$out.path" ]; do
        if ! kill -0 "$VELKON_SIM_PID" 2>/dev/null || [ $waited -ge 100 ]; then
            echo "the simulator did not start: $(cat "$out.log")" >&2
            return 1
        fi
        sleep 0.1
        waited=$((waited + 1))
    done
    VELKON_SIM_PATH="$(head -n1 "$out.path")"
}
