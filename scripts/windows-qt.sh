# Qt 6.4.2 for Windows (x86_64-w64-mingw32), built once per machine from the sources into a
# cache outside the checkout, for the Windows build of the panel. Sourced by scripts/windows,
# not run.
#
# The cache's folder is named by a key over the sources' checksums, the one change to Qt's
# source, the toolchain and the configure options, so that a change to any of them builds a new
# Qt beside the old one instead of reusing a Qt that no longer matches. A build that stopped
# half-way leaves no stamp and is built again from the start.

ZQ4_QT_VERSION=6.4.2
ZQ4_QT_ARCHIVES=(qtbase-6.4.2+dfsg.tar.xz qtserialport-6.4.2.tar.xz)
ZQ4_QT_PATCH=qtbase-6.4.2-direct2d-off.patch
ZQ4_QT_CACHE_ROOT="${ZQ4_QT_CACHE_ROOT:-${XDG_CACHE_HOME:-$HOME/.cache}/zq4}"

# What the cross build, the Wine tests and the installer need from Debian.
ZQ4_WINDOWS_PACKAGES=(
    g++-mingw-w64-x86-64-posix mingw-w64-tools binutils-mingw-w64-x86-64
    wine64 wine nsis ninja-build xvfb xauth zip x11-apps imagemagick
)

# The cross compiler, as CMake loads it. The posix thread model: Qt needs std::thread.
zq4_qt_toolchain() {
    cat <<'EOF'
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(CMAKE_C_COMPILER   x86_64-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER  x86_64-w64-mingw32-windres)
list(APPEND CMAKE_FIND_ROOT_PATH /usr/x86_64-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
EOF
}

# qtbase's configure options: the modules and plugins the panel uses (Core, Gui, Widgets,
# Network for local sockets, Test; the windows, offscreen and minimal platforms; the
# windowsvista style), Qt's own copies of the third-party libraries, and nothing else.
ZQ4_QT_OPTIONS=(
    -DCMAKE_BUILD_TYPE=Release -DBUILD_SHARED_LIBS=ON
    -DQT_HOST_PATH=/usr -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake
    -DQT_BUILD_EXAMPLES=OFF -DQT_BUILD_TESTS=OFF -DQT_BUILD_BENCHMARKS=OFF
    -DFEATURE_pkg_config=OFF -DINPUT_opengl=no -DFEATURE_opengl=OFF -DFEATURE_vulkan=OFF
    -DFEATURE_sql=OFF -DFEATURE_dbus=OFF -DFEATURE_concurrent=OFF
    -DFEATURE_network=ON -DFEATURE_openssl=OFF -DFEATURE_schannel=OFF
    -DFEATURE_xml=OFF -DFEATURE_printsupport=OFF -DFEATURE_tabletevent=OFF
    -DFEATURE_system_zlib=OFF -DFEATURE_system_pcre2=OFF -DFEATURE_system_png=OFF
    -DFEATURE_system_jpeg=OFF -DFEATURE_system_freetype=OFF -DFEATURE_system_harfbuzz=OFF
    -DFEATURE_system_doubleconversion=OFF -DFEATURE_zstd=OFF -DFEATURE_direct2d=OFF
)

# zq4_qt_sources_folder [folder]: the folder that holds the Qt archives, from the argument or
# ZQ4_QT_SOURCES; says what to put where, and fails, when an archive is missing.
zq4_qt_sources_folder() {
    local folder="${1:-${ZQ4_QT_SOURCES:-}}"
    if [ -z "$folder" ] && [ -d "$ZQ4_ROOT/../shared/qt-sources" ]; then
        folder="$ZQ4_ROOT/../shared/qt-sources"
    fi
    local missing=0 file
    for file in "${ZQ4_QT_ARCHIVES[@]}" "$ZQ4_QT_PATCH"; do
        if [ -z "$folder" ] || [ ! -f "$folder/$file" ]; then
            missing=1
        fi
    done
    if [ "$missing" -ne 0 ]; then
        {
            echo "The Windows build needs the sources of Qt $ZQ4_QT_VERSION, and ${folder:-no folder} does not hold them."
            echo "Put these files in one folder and give it as the argument or in ZQ4_QT_SOURCES:"
            echo "  ${ZQ4_QT_ARCHIVES[0]}  (Debian's source of qt6-base $ZQ4_QT_VERSION)"
            echo "  ${ZQ4_QT_ARCHIVES[1]}  (Qt Serial Port at its v$ZQ4_QT_VERSION tag)"
            echo "  $ZQ4_QT_PATCH  (in the project's shared Qt sources)"
        } >&2
        return 1
    fi
    (cd "$folder" && pwd)
}

# zq4_qt_prefix <sources-folder>: where the Qt for those sources and these options lives.
zq4_qt_prefix() {
    local key
    key="$({
        (cd "$1" && sha256sum "${ZQ4_QT_ARCHIVES[@]}" "$ZQ4_QT_PATCH")
        zq4_qt_toolchain
        printf '%s\n' "${ZQ4_QT_OPTIONS[@]}"
    } | sha256sum | cut -c1-12)"
    echo "$ZQ4_QT_CACHE_ROOT/qt-$ZQ4_QT_VERSION-mingw-$key"
}

# zq4_qt_build <sources-folder>: builds and installs Qt into its cache unless it is there
# already; prints the prefix. Its steps go to <prefix>.log.
zq4_qt_build() {
    local sources="$1" prefix
    prefix="$(zq4_qt_prefix "$sources")"
    if [ -f "$prefix/.complete" ]; then
        echo "$prefix"
        return 0
    fi
    local work="$prefix.build" log="$prefix.log"
    echo "Building Qt $ZQ4_QT_VERSION for Windows into $prefix (about an hour on two cores; steps in $log)" >&2
    rm -rf "$prefix" "$work"
    mkdir -p "$prefix" "$work"
    # Qt's installed toolchain loads this file by its absolute path: it lives in the prefix.
    zq4_qt_toolchain >"$prefix/mingw-toolchain.cmake"
    if ! (
        set -euo pipefail
        cd "$work"
        tar -xf "$sources/${ZQ4_QT_ARCHIVES[0]}"
        tar -xf "$sources/${ZQ4_QT_ARCHIVES[1]}"
        (cd "qtbase-everywhere-src-$ZQ4_QT_VERSION" && patch -p1 <"$sources/$ZQ4_QT_PATCH")
        cmake -G Ninja -S "qtbase-everywhere-src-$ZQ4_QT_VERSION" -B build-qtbase \
            -DCMAKE_TOOLCHAIN_FILE="$prefix/mingw-toolchain.cmake" \
            -DCMAKE_INSTALL_PREFIX="$prefix" "${ZQ4_QT_OPTIONS[@]}"
        cmake --build build-qtbase --parallel "$ZQ4_JOBS"
        cmake --install build-qtbase
        "$prefix/bin/qt-cmake" -G Ninja -S "qtserialport-$ZQ4_QT_VERSION" -B build-serialport \
            -DQT_BUILD_EXAMPLES=OFF -DQT_BUILD_TESTS=OFF
        cmake --build build-serialport --parallel "$ZQ4_JOBS"
        cmake --install build-serialport
    ) >"$log" 2>&1; then
        echo "The build of Qt for Windows failed; the end of $log:" >&2
        tail -n 30 "$log" >&2
        return 1
    fi
    rm -rf "$work"
    date -u +%FT%TZ >"$prefix/.complete"
    echo "$prefix"
}
