# Sourced by the Wine scripts: the project's own Wine prefix under build/, so
# that a clean clone starts from a fresh one, and a quiet Wine.
qv_root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
export WINEPREFIX=${QV_WINEPREFIX:-$qv_root/build/wine/prefix}
export WINEDEBUG=-all
# No .NET or HTML engine is installed; don't offer to fetch them.
export WINEDLLOVERRIDES="mscoree,mshtml="
export WINEARCH=win64
# Wine reads file names and arguments in the Unix locale's character set:
# UTF-8, whatever the caller's locale.
export LC_ALL=C.UTF-8
qv_wine=$(command -v wine64 || echo /usr/lib/wine/wine64)
qv_wineserver=$(command -v wineserver || echo /usr/lib/wine/wineserver)

# Makes the prefix when it is missing; several callers at once make it once.
qv_wine_prefix() {
    mkdir -p "$(dirname "$WINEPREFIX")"
    (
        flock 9
        if [ ! -f "$WINEPREFIX/.qv-ready" ]; then
            rm -rf "$WINEPREFIX"
            "$qv_wine" wineboot -i >/dev/null 2>&1
            "$qv_wineserver" -w
            touch "$WINEPREFIX/.qv-ready"
        fi
    ) 9>"$WINEPREFIX.lock"
}
