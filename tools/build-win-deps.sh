#!/usr/bin/env bash
# Builds the third-party libraries the Windows build links against and installs
# them into a prefix outside the repository:
#
#   pugixml, libzip, libcurl (Schannel)  cross-built from Debian's source packages
#   GoogleTest / GoogleMock              cross-built from /usr/src/googletest
#   {fmt}, nlohmann::json                header copies with CMake package files
#
# Everything is a static library built with the posix-thread mingw-w64
# compilers through cmake/mingw-w64-x86_64.cmake. The prefix is
# $RAMPTIDE_WIN_DEPS (default /opt/ramptide-win-deps); once complete it is
# reused as is. Bump STAMP's version to force a rebuild everywhere.
#
# Runs as root on a fresh Debian 12 machine: installs the build packages it
# lacks and adds a deb-src entry for the Debian archive already in use.
set -euo pipefail

PREFIX=${RAMPTIDE_WIN_DEPS:-/opt/ramptide-win-deps}
STAMP=$PREFIX/.complete-v1
REPO=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
TOOLCHAIN=$REPO/cmake/mingw-w64-x86_64.cmake
JOBS=$(nproc)
TRIPLE=x86_64-w64-mingw32

if [[ -f $STAMP ]]; then
    echo "Windows dependencies up to date in $PREFIX"
    exit 0
fi

BUILD_PACKAGES=(
    dpkg-dev cmake ninja-build make
    gcc-mingw-w64-x86-64-posix g++-mingw-w64-x86-64-posix libz-mingw-w64-dev
    googletest libfmt-dev nlohmann-json3-dev
)
SOURCE_PACKAGES=(pugixml libzip curl)
SRC_LIST=/etc/apt/sources.list.d/ramptide-src.sources
SRC_LIST_ONELINE=/etc/apt/sources.list.d/ramptide-src.list

WORK=$(mktemp -d "${TMPDIR:-/tmp}/ramptide-win-deps.XXXXXX")
trap 'rm -rf "$WORK"' EXIT
# Installs go to a staging copy of the prefix first, so an interrupted run
# never leaves a half-filled prefix behind; none of these libraries needs
# another of them to build.
STAGE=$WORK/stage
STAGED_PREFIX=$STAGE$PREFIX

step() { printf '==> %s\n' "$*"; }
die() { printf 'build-win-deps: %s\n' "$*" >&2; exit 1; }

# Runs a command with its output in $WORK/<name>.log, shown only on failure.
logged() {
    local name=$1; shift
    local log=$WORK/$name.log
    if ! "$@" >>"$log" 2>&1; then
        tail -n 60 "$log" >&2
        die "$name failed: $*"
    fi
}

require_root() {
    [[ $EUID -eq 0 ]] || die "$1 needs root; run as root or install by hand"
}

# apt-get waits for a dpkg lock held by another apt run; a failed download
# (or the lists lock, which it does not wait for) gets a few more tries.
apt_get() {
    local attempt
    for attempt in 1 2 3 4 5; do
        if DEBIAN_FRONTEND=noninteractive apt-get -o DPkg::Lock::Timeout=600 "$@"; then
            return 0
        fi
        echo "apt-get $1 failed (attempt $attempt), retrying in 15 s" >&2
        sleep 15
    done
    return 1
}

missing_packages() {
    local pkg
    for pkg in "$@"; do
        if [[ $(dpkg-query -W -f='${db:Status-Status}' "$pkg" 2>/dev/null) != installed ]]; then
            echo "$pkg"
        fi
    done
}

# Writes a deb-src twin of every enabled "deb" stanza of a deb822 file.
deb822_sources_twin() {
    awk '
        BEGIN { RS = ""; FS = "\n" }
        {
            types = ""; body = ""; enabled = 1
            for (i = 1; i <= NF; i++) {
                line = $i
                if (line ~ /^[ \t]*#/) continue
                key = tolower(line)
                if (key ~ /^types:/) { types = key; continue }
                if (key ~ /^enabled:[ \t]*no/) enabled = 0
                body = body line "\n"
            }
            if (enabled && types ~ /[: \t]deb([ \t]|$)/)
                printf "%sTypes: deb-src\n%s", (n++ ? "\n" : ""), body
        }' "$1"
}

# Source indexes come from the same archive as the binary packages.
add_source_entries() {
    if [[ ! -f $SRC_LIST && ! -f $SRC_LIST_ONELINE ]] &&
       [[ -n $(apt-get indextargets 'Created-By: Sources' 2>/dev/null) ]]; then
        return 0 # deb-src already configured by the machine
    fi
    require_root "adding a deb-src entry"
    local entries
    if [[ -f /etc/apt/sources.list.d/debian.sources ]]; then
        entries=$(deb822_sources_twin /etc/apt/sources.list.d/debian.sources)
        [[ -n $entries ]] || die "no deb entry in /etc/apt/sources.list.d/debian.sources"
        printf '%s\n' "$entries" >"$SRC_LIST"
    elif [[ -f /etc/apt/sources.list ]]; then
        entries=$(sed -n 's/^[ \t]*deb\([ \t]\)/deb-src\1/p' /etc/apt/sources.list)
        [[ -n $entries ]] || die "no deb line in /etc/apt/sources.list"
        printf '%s\n' "$entries" >"$SRC_LIST_ONELINE"
    else
        die "no Debian apt source found to derive a deb-src entry from"
    fi
}

cmake_build() {
    local name=$1 src=$2; shift 2
    local build=$WORK/build-$name
    logged "$name" cmake -S "$src" -B "$build" -G Ninja \
        -DCMAKE_TOOLCHAIN_FILE="$TOOLCHAIN" \
        -DCMAKE_BUILD_TYPE=Release \
        -DCMAKE_INSTALL_PREFIX="$PREFIX" \
        -DCMAKE_INSTALL_LIBDIR=lib \
        -DBUILD_SHARED_LIBS=OFF \
        "$@"
    logged "$name" cmake --build "$build" -j "$JOBS"
    DESTDIR=$STAGE logged "$name" cmake --install "$build"
}

source_dir() {
    local dirs=("$WORK/src/$1"-[0-9]*/)
    [[ -d ${dirs[0]} ]] || die "no unpacked source for $1"
    echo "${dirs[0]%/}"
}

build_pugixml() {
    step "pugixml"
    cmake_build pugixml "$(source_dir pugixml)" -DPUGIXML_BUILD_TESTS=OFF
}

build_libzip() {
    step "libzip"
    cmake_build libzip "$(source_dir libzip)" \
        -DENABLE_COMMONCRYPTO=OFF -DENABLE_GNUTLS=OFF -DENABLE_MBEDTLS=OFF \
        -DENABLE_OPENSSL=OFF -DENABLE_WINDOWS_CRYPTO=ON \
        -DENABLE_BZIP2=OFF -DENABLE_LZMA=OFF \
        -DBUILD_TOOLS=OFF -DBUILD_REGRESS=OFF -DBUILD_EXAMPLES=OFF -DBUILD_DOC=OFF
    # The static library links ZLIB::ZLIB, but libzip's package file leaves
    # finding zlib to its consumer; make find_package(libzip) do it.
    local config=$STAGED_PREFIX/lib/cmake/libzip/libzip-config.cmake
    [[ -f $config ]] || die "libzip installed no $config"
    if ! grep -q '^find_dependency(ZLIB)' "$config"; then
        # shellcheck disable=SC2016 # a literal CMake variable reference
        sed -i 's|^include("${CMAKE_CURRENT_LIST_DIR}/libzip-targets.cmake")|include(CMakeFindDependencyMacro)\nfind_dependency(ZLIB)\n&|' "$config"
        grep -q '^find_dependency(ZLIB)' "$config" || die "could not add zlib to $config"
    fi
}

build_curl() {
    step "curl (Schannel)"
    # The CA bundle and path are left unset: Schannel verifies against the
    # Windows certificate store, and a path detected on this machine would
    # mean nothing on Windows.
    cmake_build curl "$(source_dir curl)" \
        -DBUILD_CURL_EXE=OFF -DBUILD_TESTING=OFF -DENABLE_MANUAL=OFF \
        -DCURL_USE_SCHANNEL=ON -DCURL_USE_OPENSSL=OFF \
        -DCURL_CA_BUNDLE=none -DCURL_CA_PATH=none \
        -DCURL_ZLIB=ON -DCURL_BROTLI=OFF -DCURL_ZSTD=OFF \
        -DUSE_NGHTTP2=OFF -DUSE_LIBIDN2=OFF -DCURL_USE_LIBPSL=OFF \
        -DCURL_USE_LIBSSH2=OFF -DCURL_USE_LIBSSH=OFF \
        -DCURL_DISABLE_LDAP=ON -DCURL_DISABLE_LDAPS=ON -DCURL_DISABLE_RTSP=ON \
        -DCURL_DISABLE_DICT=ON -DCURL_DISABLE_TELNET=ON -DCURL_DISABLE_TFTP=ON \
        -DCURL_DISABLE_POP3=ON -DCURL_DISABLE_IMAP=ON -DCURL_DISABLE_SMTP=ON \
        -DCURL_DISABLE_GOPHER=ON -DCURL_DISABLE_MQTT=ON -DCURL_DISABLE_SMB=ON
}

build_googletest() {
    step "GoogleTest and GoogleMock"
    # On MinGW GoogleTest uses Win32 threads whatever gtest_disable_pthreads says.
    cmake_build googletest /usr/src/googletest -DBUILD_GMOCK=ON -DINSTALL_GTEST=ON
}

install_header_libraries() {
    step "{fmt} and nlohmann::json headers"
    mkdir -p "$STAGED_PREFIX/include" "$STAGED_PREFIX/lib/cmake/fmt" "$STAGED_PREFIX/share/cmake"
    cp -a /usr/include/fmt /usr/include/nlohmann "$STAGED_PREFIX/include/"

    # nlohmann's package files locate the headers relative to themselves.
    cp -a /usr/share/cmake/nlohmann_json "$STAGED_PREFIX/share/cmake/"

    # {fmt} is used header-only here, under both of its usual target names.
    local fmt_cmake
    fmt_cmake=$(dpkg -L libfmt-dev | grep '/cmake/fmt/fmt-config-version.cmake$' | head -n 1)
    [[ -n $fmt_cmake ]] || die "libfmt-dev has no fmt-config-version.cmake"
    cp "$fmt_cmake" "$STAGED_PREFIX/lib/cmake/fmt/"
    cat >"$STAGED_PREFIX/lib/cmake/fmt/fmt-config.cmake" <<'EOF'
# {fmt} for the Windows build: headers only, compiled into each user.
get_filename_component(_fmt_prefix "${CMAKE_CURRENT_LIST_DIR}/../../.." ABSOLUTE)
if(NOT TARGET fmt::fmt-header-only)
  add_library(fmt::fmt-header-only INTERFACE IMPORTED)
  set_target_properties(fmt::fmt-header-only PROPERTIES
    INTERFACE_INCLUDE_DIRECTORIES "${_fmt_prefix}/include"
    INTERFACE_COMPILE_DEFINITIONS "FMT_HEADER_ONLY=1")
endif()
if(NOT TARGET fmt::fmt)
  add_library(fmt::fmt INTERFACE IMPORTED)
  set_target_properties(fmt::fmt PROPERTIES INTERFACE_LINK_LIBRARIES fmt::fmt-header-only)
endif()
unset(_fmt_prefix)
EOF
}

main() {
    [[ -f $TOOLCHAIN ]] || die "toolchain file $TOOLCHAIN not found"
    local started=$SECONDS

    step "apt packages and deb-src entry"
    add_source_entries
    local missing
    missing=$(missing_packages "${BUILD_PACKAGES[@]}")
    if [[ $EUID -eq 0 ]]; then
        logged apt apt_get update
        if [[ -n $missing ]]; then
            # shellcheck disable=SC2086 # one package name per word
            logged apt apt_get install -y --no-install-recommends $missing
        fi
    elif [[ -n $missing ]]; then
        die "missing packages (install as root): ${missing//$'\n'/ }"
    fi

    step "fetching Debian sources: ${SOURCE_PACKAGES[*]}"
    mkdir -p "$WORK/src"
    (cd "$WORK/src" && logged sources apt-get source --only-source "${SOURCE_PACKAGES[@]}")

    command -v "$TRIPLE-g++-posix" >/dev/null || die "$TRIPLE-g++-posix not found"

    build_pugixml
    build_libzip
    build_curl
    build_googletest
    install_header_libraries

    step "installing into $PREFIX"
    mkdir -p "$PREFIX"
    cp -a "$STAGED_PREFIX/." "$PREFIX/"
    touch "$STAMP"
    echo "Windows dependencies built in $((SECONDS - started)) s and installed in $PREFIX"
}

main "$@"
