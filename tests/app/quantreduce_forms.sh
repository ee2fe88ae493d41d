#!/usr/bin/env bash
# quantreduce's forms, options, statuses and failures, as a user runs it:
#   - every form gives the same bytes: IN OUT, -o, --out-dir, --ext, - - through
#     a pipe, GNU parallel; so do --jobs and QUANTVIEW_THREADS;
#   - --colors: at most N palette entries in as few bits as hold them, the
#     pixels those of the bitmap file; 255 as without the option; --no-dither
#     gives each colour one palette entry wherever it stands;
#   - a batch with a damaged file, a folder and a missing file: the others
#     written, one reason each, status 1; a rerun skips, --force rewrites;
#   - the output is the input, through another name: refused unless --force;
#   - a folder without write permission and a write cut short by the file-size
#     limit: status 1, the earlier file unchanged, no temporary file left;
#   - a wrong command line: status 2, a line and the usage, nothing written.
#
#   tests/app/quantreduce_forms.sh QUANTREDUCE [STEP...]
#
# STEP: forms colors no_dither batch self faults usage (all by default).
set -euo pipefail
cd "$(dirname "$0")/../.."
program=$(realpath "$1")
suite="quantreduce forms"
source tests/e2e/lib.sh
chmod 755 "$work"  # another user reads it in the permission check
cd "$work"

for tool in convert compare parallel; do
    command -v "$tool" >/dev/null || fail "$tool is not installed (scripts/setup.sh installs it)"
done
qr() { "$program" "$@"; }
# The palette PNG's bit depth and PLTE entries, as "DEPTH ENTRIES".
png_depth_entries() {
    local hex before
    hex=$(od -An -tx1 -v "$1" | tr -d ' \n')
    before=${hex%%504c5445*}  # up to "PLTE", which its length precedes
    echo "$((16#${hex:48:2})) $((16#${before: -8} / 3))"
}
same_pixels() { [ "$(compare -metric AE "$1" "$2" null: 2>&1)" = 0 ]; }

mkdir -p in.d
cp "$OLDPWD/samples/astronaut.bmp" in.d/a.bmp
convert in.d/a.bmp -rotate 90 in.d/b.png
convert in.d/a.bmp -resize 75% in.d/c.v2.jpg
inputs=(in.d/a.bmp in.d/b.png in.d/c.v2.jpg)

# IN OUT, today's form, gives the reference outputs.
mkdir ref
for f in "${inputs[@]}"; do
    name=$(basename "${f%.*}")
    qr "$f" "ref/$name.png" >"ref/$name.report" || fail "IN OUT on $f"
done
grep -q '^cache hit' ref/a.report || fail "IN OUT printed no report"

step_forms() {
    step "the forms give the same bytes"
    qr -q -o o.png in.d/b.png && cmp -s o.png ref/b.png || fail "-o OUT IN differs"
    qr in.d/b.png - >pipe.png 2>pipe.report && cmp -s pipe.png ref/b.png || fail "IN - differs"
    cat in.d/b.png | qr - - >pipe.png 2>pipe.report && cmp -s pipe.png ref/b.png || fail "- - differs"
    diff -q <(sed 's/\[.*msec\]//' pipe.report) <(sed 's/\[.*msec\]//' ref/b.report) >/dev/null ||
        fail "- - did not give the report on standard error"
    mkdir par
    parallel --will-cite "$program" -q {} par/{/.}.png ::: "${inputs[@]}" || fail "GNU parallel"
    for jobs in 1 2 3; do
        for threads in 1 3; do
            QUANTVIEW_THREADS=$threads qr --jobs $jobs --out-dir "dir$jobs$threads" "${inputs[@]}" \
                >batch.out 2>batch.err || fail "--out-dir with --jobs $jobs: $(cat batch.err)"
            [ ! -s batch.err ] || fail "a batch without failures wrote to standard error: $(cat batch.err)"
            diff -r -q ref "dir$jobs$threads" -x '*.report' ||
                fail "--jobs $jobs, QUANTVIEW_THREADS=$threads: other bytes"
        done
    done
    # One line a picture, in the order given.
    grep -c ' -> ' batch.out | grep -qx 3 || fail "batch lines: $(cat batch.out)"
    [ "$(sed 's/ .*//' batch.out | tr '\n' ' ')" = "${inputs[*]} " ] || fail "batch order: $(cat batch.out)"
    diff -r -q ref par -x '*.report' || fail "GNU parallel gave other bytes"
    qr -q --ext -255.png "${inputs[@]}" || fail "--ext"
    for f in a b c.v2; do
        cmp -s "in.d/$f-255.png" "ref/$f.png" || fail "--ext differs for in.d/$f"
    done
}

step_colors() {
    step "--colors: palette entries, bit depth and pixels"
    for case in "2 1" "16 4" "17 8" "64 8" "255 8"; do
        read -r n depth <<<"$case"
        qr -q -n "$n" in.d/a.bmp "n$n.png" && qr -q --colors="$n" in.d/a.bmp "n$n.bmp" ||
            fail "--colors $n"
        read -r got_depth entries < <(png_depth_entries "n$n.png")
        [ "$got_depth" = "$depth" ] && [ "$entries" -le "$n" ] && [ "$entries" -ge 2 ] ||
            fail "--colors $n: bit depth $got_depth, $entries entries"
        same_pixels "n$n.png" "n$n.bmp" || fail "--colors $n: the PNG's pixels differ from the bitmap's"
    done
    cmp -s n255.png ref/a.png || fail "--colors 255 differs from the default"
}

step_no_dither() {
    step "--no-dither: each colour takes one palette entry wherever it stands"
    qr -q --no-dither in.d/a.bmp flat.bmp || fail "--no-dither"
    pixels() { convert "$1" txt:- | awk 'NR > 1 { print $3 }'; }
    paste -d ' ' <(pixels in.d/a.bmp) <(pixels flat.bmp) |
        awk '($1 in to) && to[$1] != $2 { bad++ } { to[$1] = $2 } END { exit bad > 0 }' ||
        fail "--no-dither gave one colour several palette entries"
}

step_batch() {
    step "a batch with failures; a rerun; --force"
    mkdir folder.png
    head -c 2000 in.d/b.png >damaged.png
    batch=(in.d/a.bmp damaged.png folder.png missing.jpg in.d/b.png)
    status=0
    qr --out-dir out "${batch[@]}" >fail.out 2>fail.err || status=$?
    [ "$status" = 1 ] || fail "a batch with failures ended with status $status"
    cmp -s out/a.png ref/a.png && cmp -s out/b.png ref/b.png || fail "the good pictures were not written"
    [ "$(ls out | tr '\n' ' ')" = "a.png b.png " ] || fail "out holds $(ls -a out)"
    for f in damaged.png folder.png missing.jpg; do
        grep -qx "Cannot load input file : $f" fail.out || fail "no failure line for $f"
        [ "$(grep -c "^quantreduce: $f: " fail.err)" = 1 ] || fail "not one reason for $f: $(cat fail.err)"
    done
    [ "$(wc -l <fail.err)" = 3 ] || fail "other lines on standard error: $(cat fail.err)"
    touch -d '2000-01-01' out/a.png
    qr --out-dir out in.d/a.bmp in.d/b.png >again.out || fail "the rerun failed"
    grep -qx "in.d/a.bmp: skipped, out/a.png exists" again.out || fail "no skip: $(cat again.out)"
    [ -z "$(find out -newermt '2001-01-01' -name a.png)" ] || fail "the rerun rewrote out/a.png"
    chmod 640 out/a.png
    qr -q -f --out-dir out in.d/a.bmp || fail "--force"
    [ -n "$(find out -newermt '2001-01-01' -name a.png)" ] || fail "--force did not rewrite out/a.png"
    [ "$(stat -c %a out/a.png)" = 640 ] || fail "the rewritten out/a.png lost its permissions"
}

step_self() {
    step "the output is the input"
    cp in.d/a.bmp self.bmp
    ln self.bmp link.bmp
    for out in self.bmp ./link.bmp; do
        status=0
        qr self.bmp "$out" >self.out 2>self.err || status=$?
        [ "$status" = 1 ] && grep -qx "Cannot write output file : $out" self.out ||
            fail "$out: status $status, $(cat self.out self.err)"
        cmp -s self.bmp in.d/a.bmp || fail "self.bmp was written over"
    done
    qr -q -f self.bmp self.bmp && ! cmp -s self.bmp in.d/a.bmp || fail "--force did not write over the input"
}

step_faults() {
    step "faults: no permission, a write cut short"
    mkdir locked
    qr -q -n 2 in.d/a.bmp locked/out.png
    cp locked/out.png earlier.png
    chmod 555 locked
    as_user=()
    [ "$(id -u)" != 0 ] || as_user=(setpriv --reuid=65534 --regid=65534 --clear-groups)
    status=0
    "${as_user[@]}" "$program" in.d/a.bmp locked/out.png >locked.out 2>locked.err || status=$?
    [ "$status" = 1 ] && grep -q "^quantreduce: locked/out.png: no permission" locked.err ||
        fail "a folder without write permission: status $status, $(cat locked.out locked.err)"
    chmod 755 locked
    # 64 KiB at most: the new PNG (about 150 KB) is cut short part-way, as
    # one thread writes it after the remapping and as the remapping's threads
    # write it while they go on.
    for threads in 1 2; do
        status=0
        (ulimit -f 64 && QUANTVIEW_THREADS=$threads exec "$program" -q in.d/a.bmp locked/out.png) \
            2>limit.err || status=$?
        [ "$status" = 1 ] &&
            grep -q "^quantreduce: locked/out.png: the file would be larger" limit.err ||
            fail "a write beyond the file-size limit ($threads threads): status $status, $(cat limit.err)"
        cmp -s locked/out.png earlier.png || fail "the earlier file was changed"
        [ "$(ls -A locked)" = out.png ] || fail "left behind: $(ls -A locked)"
    done
}

step_usage() {
    step "a wrong command line: status 2, nothing written"
    touch usage.out usage.err
    before=$(find . | sort)
    while IFS= read -r args; do
        status=0
        eval "qr $args" >usage.out 2>usage.err || status=$?
        [ "$status" = 2 ] && [ ! -s usage.out ] && grep -q '^quantreduce: ' <(head -1 usage.err) &&
            sed -n 2p usage.err | grep -q '^Usage: quantreduce' ||
            fail "quantreduce $args: status $status, $(cat usage.out usage.err)"
    done <<'EOF'

in.d/a.bmp
in.d/a.bmp x.png y.png
-n 1 in.d/a.bmp x.png
--colors 256 in.d/a.bmp x.png
-j 0 --out-dir x in.d/a.bmp
--format gif in.d/a.bmp x.png
--format bmp in.d/a.bmp x.png
--bogus in.d/a.bmp x.png
-x in.d/a.bmp x.png
--no-dither=1 in.d/a.bmp x.png
-o x.png in.d/a.bmp in.d/b.png
--out-dir x --ext .png in.d/a.bmp
--out-dir x
--ext .png -
-o x.png --out-dir x in.d/a.bmp
EOF
    [ "$(find . | sort)" = "$before" ] || fail "a wrong command line wrote files"
}

steps=("${@:2}")
[ ${#steps[@]} -gt 0 ] || steps=(forms colors no_dither batch self faults usage)
for name in "${steps[@]}"; do "step_$name"; done
step "all passed"
