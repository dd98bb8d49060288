#!/usr/bin/env bash
# The Windows stage: veldran.exe, veldran-cli.exe and their test suites cross-built for 64-bit
# Windows with mingw-w64 in build-win, and run by CTest under Wine in Xvfb: the core and command
# line suites, the window's command tests on the Win32 backend, and a smoke test that drives
# veldran.exe itself and takes a screenshot (build-win/veldran-wine.png). Then the zip and the
# installer made by CPack: installed silently, the installed veldran.exe started and shot
# (build-win/veldran-installed.png), and uninstalled.
#
#   tests/windows/run.sh              configure, build and run everything
#   tests/windows/run.sh -R Window    extra arguments go to ctest
set -euo pipefail
cd "$(dirname "$0")/../.."
. ./deps.sh
if ! veldran_need_packages "${VELDRAN_WINDOWS_PACKAGES[@]}"; then
    echo "SKIPPED: the Windows suites need the packages above (mingw-w64, Wine, Xvfb, googletest)."
    exit 0
fi

# Windows need a display: the whole stage runs in one Xvfb of its own.
if [ -z "${VELDRAN_IN_XVFB:-}" ]; then
    VELDRAN_IN_XVFB=1 exec xvfb-run -a -s "-screen 0 1280x1024x24 -dpi 96" "$0" "$@"
fi

start=$(date +%s)
build=build-win
# A fresh prefix for every run, inside the build folder, gone when the stage ends.
export WINEPREFIX="$PWD/$build/wine" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
wineserver -k >/dev/null 2>&1 || true
wineserver -w >/dev/null 2>&1 || true
rm -rf "$WINEPREFIX"
mkdir -p "$WINEPREFIX"
cleanup() {
    wineserver -k >/dev/null 2>&1 || true
    wineserver -w >/dev/null 2>&1 || true
    rm -rf "$WINEPREFIX"
}
trap cleanup EXIT
# One Wine server for the whole stage, its services started here with no pipe of ours open:
# otherwise they would inherit a test's output and CTest would wait for them to end.
wineserver -p </dev/null >/dev/null 2>&1
# Creating a prefix fails now and then; once more is enough.
wine wineboot --init </dev/null >/dev/null 2>&1 || wine wineboot --init </dev/null >/dev/null 2>&1
# Without a window manager Wine draws the frames itself and does not wait for one to map a
# window; Wine's own fonts give "MS Shell Dlg" (Tahoma) its metrics, so dialog units come out
# as on Windows.
wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f </dev/null >/dev/null 2>&1
cp /usr/share/wine/fonts/*.ttf "$WINEPREFIX/drive_c/windows/Fonts/"

cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake \
    -DVELDRAN_GTEST_SOURCE_DIR=/usr/src/googletest -DVELDRAN_BUILD_BENCH=OFF >/dev/null
cmake --build "$build" --parallel 2

# The Windows file layer is not seen by the native lint stage: checked here, with the cross
# build's compile commands and the mingw-w64 C++ headers.
gcc_dir=$(dirname "$(x86_64-w64-mingw32-g++-posix -print-libgcc-file-name)")
tidy_args=(--extra-arg=--target=x86_64-w64-mingw32 --extra-arg=-nostdinc++)
for dir in include/c++ include/c++/x86_64-w64-mingw32 include/c++/backward; do
    tidy_args+=("--extra-arg=-isystem$gcc_dir/$dir")
done
# Absolute paths: the stage runs under xvfb-run, and a relative one was once not found there.
win32_file=$(realpath core/SafeFileWin32.cpp)
out=$(clang-tidy -p "$build" --quiet "${tidy_args[@]}" "$win32_file" 2>&1 |
    grep -E '^/.*: (warning|error):' || true)
if [ -n "$out" ]; then
    echo "$out"
    echo "clang-tidy found problems in core/SafeFileWin32.cpp"
    exit 1
fi
cppcheck --enable=warning,style,performance,portability --std=c++20 --quiet --error-exitcode=1 \
    --inline-suppr -D_WIN32 "$win32_file"

# veldran.exe stands on its own: every DLL it imports is one that Windows ships.
exe=$build/app/veldran.exe
imports=$(x86_64-w64-mingw32-objdump -p "$exe" | sed -n 's/^\tDLL Name: //p' | sort -f)
for dll in $imports; do
    case "${dll,,}" in
    kernel32.dll | user32.dll | gdi32.dll | comctl32.dll | comdlg32.dll | shell32.dll | \
        advapi32.dll | msvcrt.dll) ;;
    *)
        echo "veldran.exe imports $dll, which Windows does not ship"
        exit 1
        ;;
    esac
done

ctest --test-dir "$build" --output-on-failure --parallel 2 "$@"

if [ -f "$build/veldran-wine.bmp" ]; then
    convert "$build/veldran-wine.bmp" "$build/veldran-wine.png"
fi

# The packages: the zip holds the programs and the README; the installer installs them for this
# user without a question (/S), under %LOCALAPPDATA%\Programs\veldran, where the installed
# programs start, and its uninstaller takes them away again.
win_run() { cmake/wine-run.sh "$WINEPREFIX" "$@"; }
(cd "$build" && cpack -G ZIP >/dev/null && cpack -G NSIS >/dev/null)
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
zip=$build/veldran-$version-win64.zip
setup=$build/veldran-$version-win64.exe
listed=$(cmake -E tar tf "$zip" | sort | tr '\n' ' ')
[ "$listed" = "veldran-$version-win64/README.md veldran-$version-win64/veldran-cli.exe \
veldran-$version-win64/veldran.exe " ] || { echo "the zip holds: $listed"; exit 1; }
win_run "$setup" /S
local_dir=$(win_run cmd /c echo %LOCALAPPDATA% | tr -d '\r')
installed="$local_dir\\Programs\\veldran"
appdata=$(win_run cmd /c echo %APPDATA% | tr -d '\r')
shortcut=$(winepath -u "$appdata\\Microsoft\\Windows\\Start Menu\\Programs\\veldran.lnk")
[ -f "$shortcut" ] || { echo "the installer made no Start menu entry"; exit 1; }
said=$(win_run "$installed\\veldran-cli.exe" --version)
[ "$said" = "veldran-cli $version" ] || { echo "the installed veldran-cli says: $said"; exit 1; }
win_run "$build/tests/ui/veldran_smoke.exe" --installed "$installed\\veldran.exe" \
    C:/veldran-installed "Z:$PWD/examples/schemes" "Z:$PWD/$build/veldran-installed.bmp"
convert "$build/veldran-installed.bmp" "$build/veldran-installed.png"
# In place (_?=), so that it has ended when the call returns; it cannot remove itself then.
win_run "$installed\\Uninstall.exe" /S "_?=$installed"
left=$(ls "$(winepath -u "$installed")")
if [ "$left" != "Uninstall.exe" ] || [ -e "$shortcut" ]; then
    echo "the uninstaller left: $left $(ls "$shortcut" 2>/dev/null)"
    exit 1
fi
echo "$(basename "$zip") and $(basename "$setup"): installed silently, started" \
    "(screenshot $build/veldran-installed.png), uninstalled"
x86_64-w64-mingw32-objcopy --strip-debug "$exe" "$build/veldran-stripped.exe"
stripped=$(stat -c %s "$build/veldran-stripped.exe")
rm -f "$build/veldran-stripped.exe"
echo "veldran.exe: $(stat -c %s "$exe") bytes ($stripped without debug information);" \
    "imports:" $imports
echo "Windows suites passed under Wine in $(($(date +%s) - start)) s;" \
    "veldran.exe and veldran-cli.exe are in $build/app and $build/cli"
