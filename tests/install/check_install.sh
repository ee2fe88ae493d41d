#!/usr/bin/env bash
# The install rules and the packages, checked as a user would meet them:
#   - `cmake --install` into a fresh prefix puts exactly the files of
#     tests/install/files.txt there; the desktop entry is valid, the manual
#     pages render without warnings, and the installed programs run;
#   - scripts/package.sh makes the Debian package and the Windows archive;
#   - the Debian package passes lintian without errors, installs with apt-get,
#     holds the same files under /usr, its programs run, and removing it
#     leaves none of its files behind;
#   - the Windows archive holds the two programs, the README and the licence;
#     each program carries the manifest (per-monitor DPI awareness, the UTF-8
#     code page, the supported systems), the icon and the version, and the
#     archive's quantreduce.exe reduces the sample under Wine as the Linux
#     build does.
# Expects both builds (build/default, build/windows) and the Wine prefix of
# tests/wine; runs as root (apt-get).
#
#   tests/install/check_install.sh
set -euo pipefail
cd "$(dirname "$0")/../.."
export LC_ALL=C  # the order of sort
suite="install"
source tests/e2e/lib.sh

build=build/default
picture=samples/astronaut.bmp
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
[ -n "$version" ] || fail "no version in $build/CMakeCache.txt"
"$build/app/quantreduce" "$picture" "$work/expected.bmp" >/dev/null || fail "$build's quantreduce failed"

# The installed programs in folder $1 run: options, a reduction equal to the
# build's, and the viewer without a display.
check_programs() {
    local bin=$1
    [ "$("$bin/quantreduce" --version)" = "quantreduce $version" ] ||
        fail "$bin/quantreduce --version printed '$("$bin/quantreduce" --version)'"
    "$bin/quantreduce" --help | grep '^Usage: quantreduce' >/dev/null || fail "$bin/quantreduce --help"
    "$bin/quantreduce" "$picture" "$work/installed.bmp" >/dev/null || fail "$bin/quantreduce failed"
    cmp -s "$work/installed.bmp" "$work/expected.bmp" ||
        fail "$bin/quantreduce wrote another picture than the build's"
    QUANTVIEW_DISPLAY=headless "$bin/quantview" "$picture" | grep '^cache hit:' >/dev/null ||
        fail "$bin/quantview did not report"
}

# ---------------------------------------------------------------------------
step "cmake --install into a fresh prefix"
prefix=$work/prefix
cmake --install "$build" --prefix "$prefix" >/dev/null
diff <(cd "$prefix" && find . -type f -o -type l | sed 's|^\./||' | sort) tests/install/files.txt \
    >"$work/tree.diff" || fail "the install tree differs from tests/install/files.txt:
$(cat "$work/tree.diff")"
desktop-file-validate "$prefix/share/applications/quantview.desktop" ||
    fail "desktop-file-validate rejects the desktop entry"
for page in quantview quantreduce; do
    warnings=$(MANWIDTH=80 man --warnings -l "$prefix/share/man/man1/$page.1.gz" 2>&1 >/dev/null)
    [ -z "$warnings" ] || fail "manual page $page: $warnings"
done
check_programs "$prefix/bin"

# ---------------------------------------------------------------------------
step "scripts/package.sh"
scripts/package.sh >"$work/package.log" 2>&1 || fail "scripts/package.sh failed: $(tail -20 "$work/package.log")"
deb=build/packages/quantview_${version}_amd64.deb
zip=build/packages/quantview-${version}-win64.zip
[ -f "$deb" ] && [ -f "$zip" ] || fail "scripts/package.sh made $(ls build/packages)"

# ---------------------------------------------------------------------------
step "Debian package: lintian, install, run, remove"
lintian --fail-on error "$deb" >"$work/lintian.log" 2>&1 || fail "lintian: $(cat "$work/lintian.log")"
apt_get() { DEBIAN_FRONTEND=noninteractive apt-get -o DPkg::Lock::Timeout=600 -y -qq "$@" >"$work/apt.log" 2>&1 || fail "apt-get $*: $(cat "$work/apt.log")"; }
apt_get install "./$deb"
dpkg-query -L quantview | while read -r f; do [ -d "$f" ] || echo "$f"; done | sort >"$work/deb_files"
diff "$work/deb_files" <(sed 's|^|/usr/|' tests/install/files.txt) >"$work/deb.diff" ||
    fail "the package's files differ from tests/install/files.txt:
$(cat "$work/deb.diff")"
dpkg-query -W -f='${Depends}\n' quantview | grep 'libc6' >/dev/null || fail "the package has no dependencies"
check_programs /usr/bin
apt_get purge quantview
left=$(while read -r f; do [ ! -e "$f" ] || echo "$f"; done <"$work/deb_files")
[ -z "$left" ] || fail "removing the package left $left"
[ ! -d /usr/share/doc/quantview ] || fail "removing the package left /usr/share/doc/quantview"

# ---------------------------------------------------------------------------
step "Windows archive: contents, resources, quantreduce.exe under Wine"
top=quantview-${version}-win64
diff <(unzip -Z1 "$zip" | grep -v '/$' | sort) \
    <(printf '%s\n' "$top/LICENSE.txt" "$top/README.md" "$top/quantreduce.exe" "$top/quantview.exe") \
    >"$work/zip.diff" || fail "the archive's files differ: $(cat "$work/zip.diff")"
unzip -q "$zip" -d "$work/zip"
# The resource of type $2 and name $3 in program $1.
resource() { wrestool -x --raw -t "$2" -n "$3" "$1"; }
# The text of element $2 in manifest $1.
setting() { xmllint --xpath "string(//*[local-name()='$2'])" "$1"; }
for program in quantview quantreduce; do
    exe=$work/zip/$top/$program.exe
    resource "$exe" 24 1 >"$work/$program.manifest" || fail "$program.exe has no manifest"
    xmllint --noout "$work/$program.manifest" || fail "$program.exe's manifest is not well-formed"
    manifest=$work/$program.manifest
    [ "$(setting "$manifest" dpiAwareness)" = "PerMonitorV2, PerMonitor" ] ||
        fail "$program.exe: dpiAwareness '$(setting "$manifest" dpiAwareness)'"
    [ "$(setting "$manifest" dpiAware)" = "true/pm" ] ||
        fail "$program.exe: dpiAware '$(setting "$manifest" dpiAware)'"
    [ "$(setting "$manifest" activeCodePage)" = "UTF-8" ] ||
        fail "$program.exe: activeCodePage '$(setting "$manifest" activeCodePage)'"
    # Windows 10 and 11
    grep -q 'supportedOS Id="{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}"' "$manifest" ||
        fail "$program.exe's manifest does not name Windows 10"
    wrestool -l "$exe" | grep -- "--type=14 --name='IDR_MAINFRAME'" >/dev/null ||
        fail "$program.exe has no icon IDR_MAINFRAME: $(wrestool -l "$exe")"
    resource "$exe" 16 1 | strings -el | grep -x "$version" >/dev/null || fail "$program.exe's version is not $version"
done
tests/wine/run_exe.sh "$work/zip/$top/quantreduce.exe" "$picture" "$work/wine.bmp" >/dev/null 2>&1 ||
    fail "the archive's quantreduce.exe failed under Wine"
cmp -s "$work/wine.bmp" "$work/expected.bmp" ||
    fail "the archive's quantreduce.exe wrote another picture than the Linux build's"

step "all passed"
