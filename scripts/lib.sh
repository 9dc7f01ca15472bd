# SPDX-FileCopyrightText: 2026 Korvane developers
#
# SPDX-License-Identifier: Apache-2.0

# Shared by scripts/run and scripts/test: installs what is missing and builds a preset.
# Works as root or, through sudo, as a user; never asks anything (no standard input needed).

KORVANE_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)

korvane_as_root() {
    if [ "$(id -u)" -eq 0 ]; then
        "$@"
    elif command -v sudo >/dev/null 2>&1; then
        sudo -n "$@" 2>/dev/null || sudo "$@" </dev/tty
    else
        echo "korvane: '$*' needs root, and sudo is not installed" >&2
        return 1
    fi
}

# korvane_need_packages PKG...: installs the Debian packages that are not installed yet.
korvane_need_packages() {
    local missing=()
    local pkg
    for pkg in "$@"; do
        if ! dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q 'install ok installed'; then
            missing+=("$pkg")
        fi
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    echo "korvane: installing ${missing[*]}"
    export DEBIAN_FRONTEND=noninteractive
    korvane_as_root apt-get update -qq </dev/null
    korvane_as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends \
        "${missing[@]}" </dev/null
}

KORVANE_BUILD_PACKAGES=(build-essential cmake ninja-build pkg-config qt6-base-dev fonts-dejavu-core ccache librelp-dev)
KORVANE_TEST_PACKAGES=(xvfb xauth xdotool x11-utils imagemagick libbenchmark-dev rsyslog rsyslog-gnutls rsyslog-relp openssl clang clang-format libivykis0 libnet1 libwrap0
                       libclang-rt-14-dev procps file dpkg-dev lintian reuse desktop-file-utils appstream python3-yaml)

# korvane_build PRESET: configures (once) and builds one preset.
korvane_build() {
    local preset=$1
    cd "$KORVANE_ROOT"
    # Four presets compile the same sources: a compiler cache keyed on paths relative to the
    # checkout serves a rebuild, another preset's flags aside, and any clone of the same tree.
    if command -v ccache >/dev/null 2>&1; then
        export CMAKE_CXX_COMPILER_LAUNCHER=ccache CMAKE_C_COMPILER_LAUNCHER=ccache
        export CCACHE_BASEDIR="$KORVANE_ROOT" CCACHE_NOHASHDIR=1
    fi
    if [ ! -f "build/$preset/build.ninja" ]; then
        cmake --preset "$preset" >/dev/null
    fi
    cmake --build --preset "$preset"
}
