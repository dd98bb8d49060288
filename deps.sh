# Sourced by run.sh and test.sh: installs the Debian packages that the build needs.
# As root a missing package is installed with apt-get; otherwise the apt-get line is printed.

veldran_need_packages() {
    local missing=()
    local pkg
    for pkg in "$@"; do
        dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q 'install ok installed' ||
            missing+=("$pkg")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    if [ "$(id -u)" -eq 0 ]; then
        echo "Installing: ${missing[*]}"
        if [ -z "${VELDRAN_APT_UPDATED:-}" ]; then
            apt-get update -q >/dev/null || return 1
            export VELDRAN_APT_UPDATED=1
        fi
        DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends \
            "${missing[@]}" >/dev/null || return 1
    else
        echo "Missing packages. Run:"
        echo "  sudo apt-get install -y ${missing[*]}"
        return 1
    fi
}

# What every build needs: compiler, CMake, the test frameworks, Qt 6 for the window, CLI11 for
# veldran-cli's options, patch for the test that applies its dry run's diff, and acl for the tests
# that give files and folders access lists.
VELDRAN_BUILD_PACKAGES=(g++ cmake ninja-build libgtest-dev libgmock-dev libbenchmark-dev
    qt6-base-dev qt6-base-dev-tools libgl-dev libcli11-dev patch acl)

# The packaging stage (tests/packaging/run.sh): CPack's Debian package needs dpkg-shlibdeps; the
# metainfo and the desktop entry have their validators; man checks the manual pages.
VELDRAN_PACKAGING_PACKAGES=(dpkg-dev appstream desktop-file-utils man-db)

# The fuzz stage (tests/fuzz/run.sh): clang with libFuzzer and the sanitizer runtimes.
VELDRAN_FUZZ_PACKAGES=(clang libclang-rt-14-dev cmake ninja-build)

# The Windows stage (tests/windows/run.sh): the mingw-w64 cross compiler, Wine to run its
# programs, GoogleTest's source to build for them, and the linters for the Windows file; Xvfb,
# Wine's own fonts and ImageMagick for the window's tests and its screenshot; NSIS for the
# installer that the stage installs under Wine.
VELDRAN_WINDOWS_PACKAGES=(g++-mingw-w64-x86-64-posix wine wine64 googletest libcli11-dev cmake
    ninja-build clang-tidy cppcheck xvfb xauth fonts-wine imagemagick nsis)
