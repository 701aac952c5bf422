# Shared by the project's commands: installs what a fresh Debian machine lacks, and builds.
# Sourced, not run.

ZQ4_ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
ZQ4_JOBS="$(nproc 2>/dev/null || echo 2)"

# Debian 12 (bookworm) packages that building and running the programs need.
ZQ4_RUN_PACKAGES=(
    build-essential cmake ninja-build pkg-config
    qt6-base-dev qt6-base-dev-tools qt6-serialport-dev qt6-svg-dev libgl-dev
    fonts-dejavu-core
)

# What the test suite, the sanitizer build and the fuzzers need on top.
ZQ4_TEST_PACKAGES=(
    libgtest-dev libgmock-dev
    clang libclang-rt-dev
    xvfb xauth
    fonts-urw-base35 fonts-liberation2 fonts-croscore
    adwaita-qt6
)

# zq4_install_missing <package...>: installs those of the packages that are not installed.
zq4_install_missing() {
    local missing=()
    local package
    for package in "$@"; do
        if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed'; then
            missing+=("$package")
        fi
    done
    if [ ${#missing[@]} -eq 0 ]; then
        return 0
    fi
    echo "Installing: ${missing[*]}"
    local sudo=()
    if [ "$(id -u)" -ne 0 ]; then
        sudo=(sudo)
    fi
    "${sudo[@]}" apt-get update -q
    DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -q "${missing[@]}"
}

# zq4_configure <build-folder> <build-type> [cmake options...]
zq4_configure() {
    local folder="$1" type="$2"
    shift 2
    cmake -S "$ZQ4_ROOT" -B "$folder" -G Ninja -DCMAKE_BUILD_TYPE="$type" "$@"
}

# zq4_build <build-folder> <build-type> [cmake options...]: configures and builds everything.
zq4_build() {
    zq4_configure "$@"
    cmake --build "$1" --parallel "$ZQ4_JOBS"
}

# The program as scripts/run starts it: Release, without the tests or the bench, in
# build/release. Options given are added last, so they win: scripts/bench adds the bench.
zq4_build_release() {
    zq4_build build/release Release -DZQ4_BUILD_TESTS=OFF -DZQ4_BUILD_BENCH=OFF "$@"
}
