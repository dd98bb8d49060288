#!/usr/bin/env bash
# Times veldran-cli against sed -i, perl -pi, grep and ripgrep on generated corpora, next to the
# file system's floors (cat, cp -a), measures peak memory, and writes the table to
# bench/RESULTS.md. Takes a long while, so it is not part of ./test.sh.
#
#   bench/run.sh                 the full run; rewrites bench/RESULTS.md
#   BENCH_QUICK=1 bench/run.sh   small corpora, to try the script; writes bench/work/RESULTS.md
#   BENCH_RUNS=N                 timed runs per command (default 5)
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
. ./deps.sh
VELDRAN_BENCH_PACKAGES=(hyperfine ripgrep time sed perl grep findutils coreutils)
veldran_need_packages "${VELDRAN_BUILD_PACKAGES[@]}" "${VELDRAN_BENCH_PACKAGES[@]}"

runs=${BENCH_RUNS:-5}
if [ -n "${BENCH_QUICK:-}" ]; then
    small=(2000 40) large=(4 50000) huge=(1 460000)
    results_md=bench/work/RESULTS.md
else
    small=(20000 40) large=(20 200000) huge=(1 4600000)
    results_md=bench/RESULTS.md
fi

build=build-bench
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
build_targets=(veldran-cli veldran_corpus veldran_noflush)
has_window_bench=
if cmake --build "$build" --target help | grep -q '^veldran_window_bench:'; then
    build_targets+=(veldran_window_bench)
    has_window_bench=1
fi
cmake --build "$build" --parallel 2 --target "${build_targets[@]}"
cli=$root/$build/cli/veldran-cli
gen=$root/$build/bench/veldran_corpus
noflush=$root/$build/bench/veldran_noflush.so
window_bench=$root/$build/bench/veldran_window_bench

work=$root/bench/work
pristine=$work/pristine
inplace=$work/inplace
res=$work/results
mkdir -p "$pristine" "$inplace" "$res" "$work/log" "$work/data"
rm -f "$res"/*

token=$("$gen" --token)
absent=$("$gen" --absent)
repl=S355JR
# Nothing the command line writes may land outside the work directory.
printf 'SB_PROJECT=bench\nSB_SHIPSCH=%s\nSB_SHIPDATA=%s/data\nSB_TEMP=%s/log\n' \
    "$inplace" "$work" "$work" >"$work/env_table.txt"
export TB_ENV_TABLE=$work/env_table.txt

# --- corpora -------------------------------------------------------------------------------
# A corpus is generated once and kept until its parameters or the generator change.
generator_sum=$(sha256sum bench/Corpus.cpp | cut -c1-16)
make_corpus() { # name files lines [--crlf]
    local name=$1 dir=$pristine/$1
    local stamp="$2 $3 ${4:-} $generator_sum"
    if [ -f "$dir.stamp" ] && [ "$(head -1 "$dir.stamp")" = "$stamp" ]; then
        return
    fi
    echo "== generating $name"
    rm -rf "$dir" "$dir.stamp"
    local summary
    summary=$("$gen" "$dir" "$2" "$3" ${4:+"$4"})
    printf '%s\n%s\n' "$stamp" "$summary" >"$dir.stamp"
}
make_corpus small-lf "${small[@]}"
make_corpus small-crlf "${small[@]}" --crlf
make_corpus large-lf "${large[@]}"
make_corpus large-crlf "${large[@]}" --crlf
make_corpus huge "${huge[@]}"
sync

describe_corpus() { # name -> "files, lines, bytes" from the generator's summary
    sed -n 2p "$pristine/$1.stamp"
}

# --- helpers -------------------------------------------------------------------------------
restore() { # name: a fresh in-place copy of the pristine corpus, on disk
    rm -rf "${inplace:?}/$1"
    cp -a "$pristine/$1" "$inplace/$1"
    sync
}
tree_sum() { # dir: one checksum over every file's name and bytes
    (cd "$1" && find . -type f -print0 | LC_ALL=C sort -z | xargs -0 sha256sum) | sha256sum |
        cut -c1-64
}
listed() { # normalises a list of paths: no leading ./, sorted
    sed 's|^\./||' | LC_ALL=C sort
}
fail() {
    echo "bench/run.sh: $*" >&2
    exit 1
}
each_file="find . -type f -name '*.sch' -print0 | xargs -0"
veldran_replace="'$cli' replace --no-log --find $token --replace $repl"

# --- checks: every tool does the same work ---------------------------------------------------
check_replace() { # name
    local name=$1 w=$inplace/$1 want got tool
    restore "$name"
    (cd "$w" && eval "$each_file $veldran_replace" >/dev/null)
    want=$(tree_sum "$w")
    [ "$want" != "$(tree_sum "$pristine/$name")" ] || fail "$name: veldran-cli changed nothing"
    for tool in "sed -i 's/$token/$repl/g'" "perl -pi -e 's/$token/$repl/g'" \
        "env LD_PRELOAD='$noflush' $veldran_replace"; do
        restore "$name"
        (cd "$w" && eval "$each_file $tool" >/dev/null)
        got=$(tree_sum "$w")
        [ "$got" = "$want" ] || fail "$name: '$tool' leaves other bytes than veldran-cli"
    done
    echo "== $name: veldran-cli, sed -i and perl -pi leave byte-identical files"
}
check_find() { # name text
    local p=$pristine/$1 v g r
    v=$(cd "$p" && eval "$each_file '$cli' find --find '$2'" | listed) || true
    g=$(cd "$p" && LC_ALL=C grep -rlF -- "$2" . | listed) || true
    r=$(cd "$p" && rg -lF -j1 -- "$2" . | listed) || true
    [ "$v" = "$g" ] || fail "$1: veldran-cli find and grep list different files for $2"
    [ "$v" = "$r" ] || fail "$1: veldran-cli find and rg list different files for $2"
    if [ "$2" = "$token" ]; then
        [ -n "$v" ] || fail "$1: no file holds $2"
    else
        [ -z "$v" ] || fail "$1: some file holds $2"
    fi
    echo "== $1: veldran-cli find, grep and rg list the same $(printf '%s' "$v" | grep -c .) files for $2"
}

# --- timings ---------------------------------------------------------------------------------
time_replace() { # name
    local w=$inplace/$1 copy=$inplace/$1.copy
    local prep="rm -rf '$w' && cp -a '$pristine/$1' '$w' && sync"
    echo "== replace on $1"
    hyperfine --runs "$runs" --style basic --export-csv "$res/replace-$1.csv" \
        -n "veldran-cli replace" --prepare "$prep" \
        "cd '$w' && $each_file $veldran_replace" \
        -n "veldran-cli replace, no fdatasync" --prepare "$prep" \
        "cd '$w' && $each_file env LD_PRELOAD='$noflush' $veldran_replace" \
        -n "sed -i" --prepare "$prep" \
        "cd '$w' && $each_file sed -i 's/$token/$repl/g'" \
        -n "perl -pi" --prepare "$prep" \
        "cd '$w' && $each_file perl -pi -e 's/$token/$repl/g'" \
        -n "cp -a (floor)" --prepare "rm -rf '$copy' && sync" \
        "cp -a '$pristine/$1' '$copy'"
    rm -rf "$copy"
}
time_find() { # name text label
    local p=$pristine/$1
    local commands=(
        -n "veldran-cli find" "cd '$p' && $each_file '$cli' find --find '$2'"
        -n "grep -rlF" "cd '$p' && LC_ALL=C grep -rlF -- '$2' ."
        -n "rg -lF -j1" "cd '$p' && rg -lF -j1 -- '$2' ."
    )
    # The read floor belongs beside the search that has to read everything.
    [ "$3" = match ] || commands+=(-n "cat (floor)" "cd '$p' && $each_file cat >/dev/null")
    echo "== find $2 in $1"
    # A search without a match ends with status 1, by design.
    hyperfine --warmup 1 --runs "$runs" --ignore-failure --style basic \
        --export-csv "$res/find-$3-$1.csv" "${commands[@]}"
}

for name in small-lf small-crlf large-lf large-crlf; do
    check_replace "$name"
    check_find "$name" "$token"
    check_find "$name" "$absent"
done
for name in small-lf small-crlf large-lf large-crlf; do
    time_replace "$name"
    time_find "$name" "$token" match
    time_find "$name" "$absent" nomatch
done
rm -rf "${inplace:?}"/*

# --- peak memory -----------------------------------------------------------------------------
peak_kib() { # command...: the peak resident set size in KiB
    local out=$work/time.out
    /usr/bin/time -v "$@" >/dev/null 2>"$out" || true
    awk -F': ' '/Maximum resident set size/ { print $2 }' "$out"
}
echo "== peak memory"
huge_file=$pristine/huge/f00000.sch
mem_rows=()
mem_row() { # label kib
    mem_rows+=("$1|$2")
}
mem_row "veldran-cli find, no match, large corpus (20 files at once)" \
    "$(peak_kib "$cli" find --find "$absent" "$pristine"/large-lf/*.sch)"
mem_row "veldran-cli find, no match, one file of $(du -m "$huge_file" | cut -f1) MB" \
    "$(peak_kib "$cli" find --find "$absent" "$huge_file")"
mem_row "grep -lF, no match, the same file" "$(peak_kib env LC_ALL=C grep -lF -- "$absent" "$huge_file")"
mem_row "rg -lF -j1, no match, the same file" "$(peak_kib rg -lF -j1 -- "$absent" "$huge_file")"
restore large-lf
mem_row "veldran-cli replace, large corpus (20 files at once)" \
    "$(peak_kib "$cli" replace --no-log --find "$token" --replace "$repl" "$inplace"/large-lf/*.sch)"
restore huge
mem_row "veldran-cli replace, the same single file" \
    "$(peak_kib "$cli" replace --no-log --find "$token" --replace "$repl" "$inplace/huge/f00000.sch")"
restore huge
mem_row "sed -i, the same single file" \
    "$(peak_kib sed -i "s/$token/$repl/g" "$inplace/huge/f00000.sch")"
huge_bytes=$(stat -c %s "$huge_file")
large_file_bytes=$(stat -c %s "$pristine/large-lf/f00000.sch")
rm -rf "${inplace:?}"/*

# --- the window ------------------------------------------------------------------------------
window_note="not measured: the window benchmark (veldran_window_bench) is not built yet."
if [ -n "$has_window_bench" ]; then
    echo "== the window's Replace"
    # Runs the dialog's Replace and veldran-cli replace on the same 10,000 files, each from a
    # fresh copy, and writes their CSV.
    QT_QPA_PLATFORM=offscreen "$window_bench" --runs "$runs" --cli "$cli" \
        --corpus "$pristine/small-lf" --files 10000 --work "$inplace/window" \
        --find "$token" --replace "$repl" --csv "$res/window.csv"
    window_note=
fi

# --- the table -------------------------------------------------------------------------------
median() { # csv name: the median in seconds
    awk -F, -v name="$2" 'NR > 1 && $1 == name { print $4 }' "$1"
}
ratio() { # a b: a / b
    awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'
}
seconds() { # s: a readable time
    awk -v s="$1" 'BEGIN { if (s < 1) printf "%.1f ms", s * 1000; else printf "%.2f s", s }'
}
targets=()
target() { # text figure met
    targets+=("| $1 | $2 | $3 |")
}
met() { # value op limit
    awk -v v="$1" -v l="$3" -v op="$2" \
        'BEGIN { ok = op == ">=" ? v >= l : v <= l; print ok ? "met" : "**missed**" }'
}
table() { # csv base: rows of command, median, ratio to the base command
    local csv=$1 base base_median name m
    base=$2
    base_median=$(median "$csv" "$base")
    echo "| command | median | ratio to $base |"
    echo "|---|---:|---:|"
    tail -n +2 "$csv" | cut -d, -f1 | while IFS= read -r name; do
        m=$(median "$csv" "$name")
        echo "| $name | $(seconds "$m") | $(ratio "$m" "$base_median") |"
    done
}

corpus_title() {
    case $1 in
    small-*) echo "many small files" ;;
    large-*) echo "few large files" ;;
    esac
}
lineend() {
    case $1 in
    *-crlf) echo "CR LF" ;;
    *) echo "LF" ;;
    esac
}

{
    echo "# Benchmark results"
    echo
    echo "Written by \`bench/run.sh\` on $(date -u '+%Y-%m-%d %H:%M UTC'), commit" \
        "$(git rev-parse --short HEAD)$(git diff --quiet HEAD -- core cli ui bench 2>/dev/null || echo ' with local changes')."
    echo "Medians of $runs runs each (hyperfine $(hyperfine --version | cut -d' ' -f2)), page cache warm."
    echo "Before every in-place run the corpus is restored from a pristine copy and synced to disk,"
    echo "untimed. A ratio is the command's median divided by the first row's, both from this run:"
    echo "above 1, veldran-cli is faster. Every command visits the files in one directory; sed, perl,"
    echo "cat and veldran-cli get them from \`find -print0 | xargs -0\`, grep and rg walk it themselves."
    echo "veldran-cli replaces with \`--no-log\`, like its peers, which keep no log."
    echo
    echo "## Machine"
    echo
    echo "- CPU: $(lscpu | sed -n 's/^Model name: *//p' | head -1), $(nproc) cores (shared with other work)"
    echo "- Memory: $(free -g | awk '/^Mem:/ { print $2 }') GiB"
    echo "- System: $(. /etc/os-release && echo "$PRETTY_NAME"), kernel $(uname -r)"
    echo "- File system of bench/work: $(df -T "$work" | awk 'NR == 2 { print $2 }')" \
        "($(findmnt -no OPTIONS -T "$work" 2>/dev/null || echo 'options unknown'))"
    echo "- Compiler: $(g++ --version | head -1), Release build"
    echo "- Peers: $(sed --version | head -1), $(grep --version | head -1)," \
        "perl $(perl -e 'print $^V'), $(rg --version | head -1)"
    echo
    echo "## Corpora"
    echo
    echo "Records of 20 to 70 characters a line; \`$token\` (replaced by \`$repl\`) on about 5% of"
    echo "lines; \`$absent\` never occurs. Generated by \`veldran_corpus\` (bench/Corpus.cpp), seeded."
    echo
    echo "| corpus | content |"
    echo "|---|---|"
    for name in small-lf small-crlf large-lf large-crlf huge; do
        echo "| $name | $(describe_corpus "$name") |"
    done
    for name in small-lf small-crlf large-lf large-crlf; do
        echo
        echo "## $(corpus_title "$name"), $(lineend "$name") ($name)"
        echo
        echo "Replace \`$token\` by \`$repl\` in place:"
        echo
        table "$res/replace-$name.csv" "veldran-cli replace"
        echo
        echo "Find \`$token\` (occurs):"
        echo
        table "$res/find-match-$name.csv" "veldran-cli find"
        echo
        echo "Find \`$absent\` (never occurs):"
        echo
        table "$res/find-nomatch-$name.csv" "veldran-cli find"

        csv=$res/replace-$name.csv
        v=$(median "$csv" "veldran-cli replace")
        vn=$(median "$csv" "veldran-cli replace, no fdatasync")
        s=$(median "$csv" "sed -i")
        c=$(median "$csv" "cp -a (floor)")
        case $name in
        large-*)
            target "replace $name: at least 3x faster than sed -i" "$(ratio "$s" "$v")x" \
                "$(met "$(ratio "$s" "$v")" '>=' 3)"
            target "(the same without fdatasync)" "$(ratio "$s" "$vn")x" \
                "$(met "$(ratio "$s" "$vn")" '>=' 3)"
            ;;
        small-*)
            target "replace $name: no slower than sed -i" "$(ratio "$s" "$v")x" \
                "$(met "$(ratio "$s" "$v")" '>=' 1)"
            target "(the same without fdatasync)" "$(ratio "$s" "$vn")x" \
                "$(met "$(ratio "$s" "$vn")" '>=' 1)"
            target "replace $name: time over cp -a's (the floor)" \
                "$(ratio "$v" "$c")x, without fdatasync $(ratio "$vn" "$c")x" "(figure)"
            ;;
        esac
        for kind in match nomatch; do
            csv=$res/find-$kind-$name.csv
            r=$(ratio "$(median "$csv" "rg -lF -j1")" "$(median "$csv" "veldran-cli find")")
            target "find $name, $kind: no slower than rg -lF -j1" "${r}x" "$(met "$r" '>=' 1)"
        done
    done
    echo
    echo "## Peak memory (\`/usr/bin/time -v\`, maximum resident set size)"
    echo
    echo "A file of the large corpus has $((large_file_bytes / 1048576)) MiB; the single file" \
        "$((huge_bytes / 1048576)) MiB."
    echo
    echo "| run | peak |"
    echo "|---|---:|"
    for row in "${mem_rows[@]}"; do
        echo "| ${row%%|*} | $(awk -v k="${row##*|}" 'BEGIN { printf "%.1f MiB", k / 1024 }') |"
    done
    find_huge=${mem_rows[1]##*|}
    replace_huge=${mem_rows[5]##*|}
    target "find memory on the single file: a few MiB" "$((find_huge / 1024)) MiB" \
        "$(met "$find_huge" '<=' 8192)"
    # The file, its new text and the program itself.
    limit=$(((2 * huge_bytes + huge_bytes / 8) / 1024 + 8192))
    target "replace memory on the single file: about the file plus its new text" \
        "$((replace_huge / 1024)) MiB for 2 x $((huge_bytes / 1048576)) MiB" \
        "$(met "$replace_huge" '<=' "$limit")"
    echo
    echo "## The window"
    echo
    if [ -z "$window_note" ]; then
        echo "The dialog's Replace, offscreen, and veldran-cli replace on the same 10,000 files:"
        echo
        table "$res/window.csv" "veldran-cli replace"
        w=$(ratio "$(median "$res/window.csv" "window Replace")" \
            "$(median "$res/window.csv" "veldran-cli replace")")
        target "the window's Replace within 1.5x of veldran-cli" "${w}x" "$(met "$w" '<=' 1.5)"
    else
        echo "$window_note"
        target "the window's Replace within 1.5x of veldran-cli" "not measured" "**open**"
    fi
    echo
    echo "## Targets"
    echo
    echo "| target | figure | |"
    echo "|---|---|---|"
    printf '%s\n' "${targets[@]}"
} >"$res/RESULTS.md"

cp "$res/RESULTS.md" "$results_md"
cat "$results_md"
echo "Written to $results_md"
