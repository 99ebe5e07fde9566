#!/bin/bash
# Installs the Debian packages the build and the tests need, only those that
# are missing. Prints nothing when everything is there. Runs as root.
#   install-deps.sh            what make build/test/run need
#   install-deps.sh --bench    that and what make bench needs (the other DICOM
#                              readers, hyperfine, Google Benchmark, valgrind)
set -euo pipefail

packages=(
    make
    cmake
    g++
    googletest                  # sources in /usr/src/googletest, built per configuration
    g++-mingw-w64-x86-64-posix
    g++-mingw-w64-i686-posix
    wine64                      # /usr/lib/wine/wine64 runs the win64 programs
    xvfb                        # display for GUI tests and screenshots
    xauth                       # needed by xvfb-run
    imagemagick
    qemu-user                   # qemu-i386 runs the native32 tests
    g++-multilib                # g++ -m32 and the 32-bit C/C++ libraries
    python3-pydicom             # reference reader for the conformance test
    time                        # /usr/bin/time: peak memory of the benchmarked programs
    clang                       # the sanitizer configuration and the fuzz target
    libclang-rt-14-dev          # clang's sanitizer and libFuzzer run-time libraries
    nsis                        # makensis builds the Windows installer (make dist)
    lintian                     # checks the Debian package of orveldump (make test-dist)
    man-db                      # man -l reads the manual page in the package test
    dpkg-dev                    # dpkg-shlibdeps: the .deb's library dependencies
    p7zip-full                  # 7z lists and unpacks the installer in the release test
    parallel                    # GNU parallel: the many-processes recipe of orveldump's tests
    python3-jsonschema          # the tests validate orveldump's JSON against its schemas
    chromium                    # headless browser for the tests of orveldump --html pages
    chromium-driver             # chromedriver, which selenium drives it through
    python3-selenium
)

if [ "${1:-}" = "--bench" ]; then
    packages+=(
        dcmtk                   # dcmdump, timed against orveldump
        libgdcm-tools           # gdcmdump, likewise
        hyperfine
        libbenchmark-dev        # Google Benchmark for the micro-benchmarks
        valgrind                # callgrind profiles (make bench-profile)
        linux-perf              # timer-sampled profiles, kernel time included
        nodejs                  # runs dicomParser (installed with npm under build/)
    )
    # Debian's nodejs comes without npm; the one from other sources brings its own.
    if ! command -v npm >/dev/null 2>&1; then
        packages+=(npm)
    fi
elif [ $# -gt 0 ]; then
    echo "usage: install-deps.sh [--bench]" >&2
    exit 2
fi

# Names of the listed packages that dpkg has fully installed.
installed_packages() {
    dpkg-query -W -f='${Package} ${db:Status-Status}\n' "${packages[@]}" 2>/dev/null |
        awk '$2 == "installed" { print $1 }' || true
}

missing_packages() {
    local have
    have=" $(installed_packages | tr '\n' ' ') "
    for p in "${packages[@]}"; do
        case "$have" in
            *" $p "*) ;;
            *) echo "$p" ;;
        esac
    done
}

mapfile -t missing < <(missing_packages)

if [ ${#missing[@]} -eq 0 ]; then
    exit 0
fi

echo "install-deps: installing ${missing[*]}"
if [ "$(id -u)" -ne 0 ]; then
    echo "install-deps: must run as root to install packages" >&2
    exit 1
fi

export DEBIAN_FRONTEND=noninteractive
apt_opts=(-o DPkg::Lock::Timeout=600 -o Dpkg::Use-Pty=0)
apt-get "${apt_opts[@]}" update -qq
apt-get "${apt_opts[@]}" install -y -qq "${missing[@]}" </dev/null

mapfile -t still_missing < <(missing_packages)
if [ ${#still_missing[@]} -ne 0 ]; then
    echo "install-deps: still not installed: ${still_missing[*]}" >&2
    exit 1
fi
echo "install-deps: done"
