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
# What the sources must be, as sha256sum prints it: Debian's source of qt6-base, the v6.4.2 tag of
# Qt Serial Port, and the change that lets the windows platform plugin link without Direct2D
# (kept in scripts/qt; the cache's key is over all three).
ZQ4_QT_CHECKSUMS="4f14b89a9463a540fd84a6718b8519a2297119b454ef547721015a9e9019ae9e  qtbase-6.4.2+dfsg.tar.xz
b7f78616290581f65e27c617aab7dbe34ad6551b71cd647536ce307572638b34  qtserialport-6.4.2.tar.xz
0658edc0a67f35373f8e8be79aaa5b39f9766074d08eaffd505459cab421c085  qtbase-6.4.2-direct2d-off.patch"
ZQ4_QT_CACHE_ROOT="${ZQ4_QT_CACHE_ROOT:-${XDG_CACHE_HOME:-$HOME/.cache}/zq4}"

# What the cross build, the Wine tests and the installer need from Debian.
ZQ4_WINDOWS_PACKAGES=(
    g++-mingw-w64-x86-64-posix mingw-w64-tools binutils-mingw-w64-x86-64
    wine64 wine nsis ninja-build xvfb xauth zip xdotool xclip imagemagick
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

# zq4_qt_sources_folder [folder]: the folder that holds the Qt sources' two archives, from the
# argument, else ZQ4_QT_SOURCES, else the project's shared folder beside the checkout; checks them,
# and the change to qtbase kept in scripts/qt, against their checksums. Says what to put where,
# and fails, when they are missing or differ.
zq4_qt_sources_folder() {
    local folder="${1:-${ZQ4_QT_SOURCES:-$ZQ4_ROOT/../shared/qt-sources}}"
    if ! (cd "$(zq4_qt_patch_folder)" && grep -F "  $ZQ4_QT_PATCH" <<<"$ZQ4_QT_CHECKSUMS" |
        sha256sum --quiet --check) >/dev/null 2>&1; then
        echo "$(zq4_qt_patch_folder)/$ZQ4_QT_PATCH is missing or changed: restore it from the project's history" >&2
        return 1
    fi
    if [ -d "$folder" ] && (cd "$folder" && grep -vF "  $ZQ4_QT_PATCH" <<<"$ZQ4_QT_CHECKSUMS" |
        sha256sum --quiet --check) >/dev/null 2>&1; then
        (cd "$folder" && pwd)
        return 0
    fi
    {
        echo "The Windows build needs the sources of Qt $ZQ4_QT_VERSION, and $folder does not hold them"
        echo "(or holds other versions). Put these two files in one folder and give it as the"
        echo "argument of scripts/windows or in ZQ4_QT_SOURCES:"
        echo "  ${ZQ4_QT_ARCHIVES[0]}  Debian's source of qt6-base $ZQ4_QT_VERSION"
        echo "  ${ZQ4_QT_ARCHIVES[1]}  Qt Serial Port at its v$ZQ4_QT_VERSION tag"
        echo "Their checksums (sha256sum --check):"
        grep -vF "  $ZQ4_QT_PATCH" <<<"$ZQ4_QT_CHECKSUMS"
    } >&2
    return 1
}

# zq4_qt_patch_folder: where the one change to Qt's source is kept, in the checkout.
zq4_qt_patch_folder() {
    echo "$ZQ4_ROOT/scripts/qt"
}

# zq4_qt_prefix: where the Qt for these sources and these options lives.
zq4_qt_prefix() {
    local key
    key="$({
        echo "$ZQ4_QT_CHECKSUMS"
        zq4_qt_toolchain
        printf '%s\n' "${ZQ4_QT_OPTIONS[@]}"
    } | sha256sum | cut -c1-12)"
    echo "$ZQ4_QT_CACHE_ROOT/qt-$ZQ4_QT_VERSION-mingw-$key"
}

# zq4_qt_ready: whether the Qt of zq4_qt_prefix is built; then the sources are not needed.
zq4_qt_ready() {
    [ -f "$(zq4_qt_prefix)/.complete" ]
}

# zq4_qt_build <sources-folder>: builds and installs Qt into its cache unless it is there
# already; prints the prefix. Its steps go to <prefix>.log.
zq4_qt_build() {
    local sources="$1" prefix lock
    prefix="$(zq4_qt_prefix)"
    # One build of a Qt at a time: another checkout's build of the same Qt is waited for, and its
    # Qt is then used.
    mkdir -p "$ZQ4_QT_CACHE_ROOT"
    exec {lock}>"$prefix.lock"
    if ! flock --nonblock "$lock"; then
        echo "Waiting for another build of Qt for Windows into $prefix" >&2
        flock "$lock"
    fi
    if [ -f "$prefix/.complete" ]; then
        # A Qt built before its licence texts were kept beside it gets them now.
        if [ ! -d "$prefix/licenses" ] && [ -n "$sources" ]; then
            mkdir -p "$prefix/licenses.new"
            tar -xf "$sources/${ZQ4_QT_ARCHIVES[0]}" -C "$prefix/licenses.new" --strip-components=2 \
                "qtbase-everywhere-src-$ZQ4_QT_VERSION/LICENSES"
            cp "$(zq4_qt_patch_folder)/$ZQ4_QT_PATCH" "$prefix/licenses.new/"
            mv "$prefix/licenses.new" "$prefix/licenses"
        fi
        echo "$prefix"
        return 0
    fi
    local work="$prefix.build" log="$prefix.log"
    echo "Building Qt $ZQ4_QT_VERSION for Windows into $prefix (15 to 30 minutes on two cores; steps in $log)" >&2
    rm -rf "$prefix" "$work"
    mkdir -p "$prefix" "$work"
    # Qt's installed toolchain loads this file by its absolute path: it lives in the prefix.
    zq4_qt_toolchain >"$prefix/mingw-toolchain.cmake"
    if ! (
        set -euo pipefail
        cd "$work"
        tar -xf "$sources/${ZQ4_QT_ARCHIVES[0]}"
        tar -xf "$sources/${ZQ4_QT_ARCHIVES[1]}"
        (cd "qtbase-everywhere-src-$ZQ4_QT_VERSION" && patch -p1 <"$(zq4_qt_patch_folder)/$ZQ4_QT_PATCH")
        cmake -G Ninja -S "qtbase-everywhere-src-$ZQ4_QT_VERSION" -B build-qtbase \
            -DCMAKE_TOOLCHAIN_FILE="$prefix/mingw-toolchain.cmake" \
            -DCMAKE_INSTALL_PREFIX="$prefix" "${ZQ4_QT_OPTIONS[@]}"
        cmake --build build-qtbase --parallel "$ZQ4_JOBS"
        cmake --install build-qtbase
        "$prefix/bin/qt-cmake" -G Ninja -S "qtserialport-$ZQ4_QT_VERSION" -B build-serialport \
            -DQT_BUILD_EXAMPLES=OFF -DQT_BUILD_TESTS=OFF
        cmake --build build-serialport --parallel "$ZQ4_JOBS"
        cmake --install build-serialport
        # The licence texts, and the change made to the source, go with the libraries into
        # every installer.
        mkdir -p "$prefix/licenses"
        cp "qtbase-everywhere-src-$ZQ4_QT_VERSION"/LICENSES/* "$(zq4_qt_patch_folder)/$ZQ4_QT_PATCH" \
            "$prefix/licenses/"
    ) >"$log" 2>&1; then
        echo "The build of Qt for Windows failed; the end of $log:" >&2
        tail -n 30 "$log" >&2
        return 1
    fi
    rm -rf "$work"
    date -u +%FT%TZ >"$prefix/.complete"
    echo "$prefix"
}
