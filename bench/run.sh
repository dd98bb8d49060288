#!/usr/bin/env bash
# Times veldran-cli against sed -i, perl -pi, grep and ripgrep on generated corpora, next to the
# file system's floors (cat, cp -a), measures peak memory, and writes the table to
# bench/RESULTS.md. Takes a long while, so it is not part of ./test.sh.
#
#   bench/run.sh                 the full run; rewrites bench/RESULTS.md
#   BENCH_QUICK=1 bench/run.sh   small corpora, to try the script; writes bench/work/RESULTS.md
#   BENCH_RUNS=N                 timed runs per in-place command (default 5)
#   BENCH_FIND_RUNS=N            timed runs per search, which take little time (default 15)
#   BENCH_BASELINE=path          another build's veldran-cli, timed beside this one's replace and find
#   BENCH_BASELINE_LABEL=text    what the tables call that build (default: its path)
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
. ./deps.sh
VELDRAN_BENCH_PACKAGES=(hyperfine ripgrep time sed perl grep findutils coreutils)
veldran_need_packages "${VELDRAN_BUILD_PACKAGES[@]}" "${VELDRAN_BENCH_PACKAGES[@]}"

runs=${BENCH_RUNS:-5}
find_runs=${BENCH_FIND_RUNS:-15}
if [ -n "${BENCH_QUICK:-}" ]; then
    small=(2000 40) large=(4 50000) few=(2 50000) huge=(1 460000) window_files=1000
    results_md=bench/work/RESULTS.md
else
    small=(20000 40) large=(20 200000) few=(5 200000) huge=(1 4600000) window_files=10000
    results_md=bench/RESULTS.md
fi

build=build-bench
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
build_targets=(veldran-cli veldran_corpus veldran_noflush veldran_rewrite_pass)
has_window_bench=
if cmake --build "$build" --target help | grep -q '^veldran_window_bench:'; then
    build_targets+=(veldran_window_bench)
    has_window_bench=1
fi
cmake --build "$build" --parallel 2 --target "${build_targets[@]}"
cli=$root/$build/cli/veldran-cli
gen=$root/$build/bench/veldran_corpus
noflush=$root/$build/bench/veldran_noflush.so
rewrite_pass=$root/$build/bench/veldran_rewrite_pass
window_bench=$root/$build/bench/veldran_window_bench

work=$root/bench/work
pristine=$work/pristine
inplace=$work/inplace
res=$work/results
mkdir -p "$pristine" "$inplace" "$res" "$work/log" "$work/data"
rm -f "$res"/*

load_start=$(cut -d' ' -f1 /proc/loadavg)
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
make_corpus few-lf "${few[@]}"
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
    (cd "$w" && eval "$each_file $veldran_replace" >/dev/null 2>&1)
    want=$(tree_sum "$w")
    [ "$want" != "$(tree_sum "$pristine/$name")" ] || fail "$name: veldran-cli changed nothing"
    for tool in "sed -i 's/$token/$repl/g'" "perl -pi -e 's/$token/$repl/g'" \
        "env LD_PRELOAD='$noflush' $veldran_replace"; do
        restore "$name"
        (cd "$w" && eval "$each_file $tool" >/dev/null 2>&1)
        got=$(tree_sum "$w")
        [ "$got" = "$want" ] || fail "$name: '$tool' leaves other bytes than veldran-cli"
    done
    echo "== $name: veldran-cli, sed -i and perl -pi leave byte-identical files"
}
check_find() { # name text
    local p=$pristine/$1 v g r
    v=$(cd "$p" && "$cli" find --find "$2" *.sch 2>/dev/null | listed) || true
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
# The commands of a group take turns, one hyperfine run each, in a new order every round (seeded,
# so a re-run repeats it): the machine's load, which others share, then falls on all of them
# alike, and no command always follows the same one. A command that writes and removes large
# files leaves the disk busy for the next one; in a fixed rotation that cost fell on one command.
# The medians go into a CSV of hyperfine's layout.
summarise() { # name < "name,seconds,user,system" lines: one CSV row
    sort -t, -k2,2g | awk -F, -v OFS=, -v name="$1" '
        { t[NR] = $2; sum += $2; sq += $2 * $2; user += $3; sys += $4 }
        END {
            median = NR % 2 ? t[(NR + 1) / 2] : (t[NR / 2] + t[NR / 2 + 1]) / 2
            mean = sum / NR
            sd = NR > 1 ? sqrt((sq - NR * mean * mean) / (NR - 1)) : 0
            print name, mean, sd, median, user / NR, sys / NR, t[1], t[NR]
        }'
}
bench_group() { # csv rounds warmup ignore-failure (name prepare command)...
    local csv=$1 rounds=$2 warmup=$3 ignore=$4
    shift 4
    local names=() preps=() cmds=()
    while [ $# -gt 0 ]; do
        names+=("$1") preps+=("$2") cmds+=("$3")
        shift 3
    done
    local k=${#names[@]} raw=$csv.raw one=$res/one.csv round j c
    : >"$raw"
    for ((round = 0; round < rounds; round++)); do
        local order
        mapfile -t order < <(awk -v k="$k" -v seed="$round" 'BEGIN {
            srand(seed + 1)
            for (i = 0; i < k; i++) p[i] = i
            for (i = k - 1; i > 0; i--) { j = int(rand() * (i + 1)); t = p[i]; p[i] = p[j]; p[j] = t }
            for (i = 0; i < k; i++) print p[i]
        }')
        for ((j = 0; j < k; j++)); do
            c=${order[j]}
            local args=(--runs 1 --warmup "$warmup" --style none --export-csv "$one"
                -n "${names[c]}")
            [ -z "$ignore" ] || args+=(--ignore-failure)
            [ -z "${preps[c]}" ] || args+=(--prepare "${preps[c]}")
            hyperfine "${args[@]}" "${cmds[c]}" >/dev/null
            tail -n +2 "$one" | awk -F, -v OFS=, '{ print $1, $4, $5, $6 }' >>"$raw"
        done
        echo "   round $((round + 1)) of $rounds"
    done
    {
        echo "command,mean,stddev,median,user,system,min,max"
        for c in "${names[@]}"; do
            awk -F, -v n="$c" '$1 == n' "$raw" | summarise "$c"
        done
    } >"$csv"
}
baseline_cli=${BENCH_BASELINE:+$(realpath "$BENCH_BASELINE")}
time_replace() { # name
    local w=$inplace/$1 copy=$inplace/$1.copy
    local prep="rm -rf '$w' && cp -a '$pristine/$1' '$w' && sync"
    local extra=()
    [ -z "$baseline_cli" ] || extra=("baseline veldran-cli replace" "$prep"
        "cd '$w' && $each_file '$baseline_cli' replace --no-log --find $token --replace $repl")
    echo "== replace on $1"
    bench_group "$res/replace-$1.csv" "$runs" 0 "" \
        "veldran-cli replace" "$prep" "cd '$w' && $each_file $veldran_replace" \
        "veldran-cli replace without flushing" "$prep" \
        "cd '$w' && $each_file env LD_PRELOAD='$noflush' $veldran_replace" \
        "veldran-cli replace --no-undo" "$prep" "cd '$w' && $each_file $veldran_replace --no-undo" \
        "veldran-cli replace --no-undo without flushing" "$prep" \
        "cd '$w' && $each_file env LD_PRELOAD='$noflush' $veldran_replace --no-undo" \
        "${extra[@]}" \
        "sed -i" "$prep" "cd '$w' && $each_file sed -i 's/$token/$repl/g'" \
        "perl -pi" "$prep" "cd '$w' && $each_file perl -pi -e 's/$token/$repl/g'" \
        "cp -a (floor)" "rm -rf '$copy' && sync" "cp -a '$pristine/$1' '$copy'" \
        "cp -a then sync (floor on disk)" "rm -rf '$copy' && sync" \
        "cp -a '$pristine/$1' '$copy' && sync"
    rm -rf "$copy"
}
time_find() { # name text label
    local p=$pristine/$1
    local commands=(
        "veldran-cli find" "" "cd '$p' && '$cli' find --find '$2' *.sch"
    )
    [ -z "$baseline_cli" ] || commands+=("baseline veldran-cli find" ""
        "cd '$p' && '$baseline_cli' find --find '$2' *.sch")
    commands+=(
        "grep -rlF" "" "cd '$p' && LC_ALL=C grep -rlF -- '$2' ."
        "rg -lF -j1" "" "cd '$p' && rg -lF -j1 -- '$2' ."
    )
    # The read floor belongs beside the search that has to read everything.
    [ "$3" = match ] || commands+=("cat (floor)" "" "cd '$p' && cat *.sch >/dev/null")
    echo "== find $2 in $1"
    # A search without a match ends with status 1, by design.
    bench_group "$res/find-$3-$1.csv" "$find_runs" 1 ignore "${commands[@]}"
}

# Undo puts back one run: the replace it undoes is given every file at once (the shell's *.sch),
# so that xargs does not split it into several runs, and is timed the same way beside it.
time_undo() { # name
    local w=$inplace/$1
    local restore="rm -rf '$w' && cp -a '$pristine/$1' '$w' && sync"
    echo "== undo on $1"
    bench_group "$res/undo-$1.csv" "$runs" 0 "" \
        "veldran-cli replace (one run)" "$restore" "cd '$w' && $veldran_replace *.sch" \
        "veldran-cli undo" "$restore && cd '$w' && $veldran_replace *.sch >/dev/null 2>&1 && sync" \
        "'$cli' undo"
}

corpora=(small-lf small-crlf large-lf large-crlf few-lf)
for name in "${corpora[@]}"; do
    check_replace "$name"
    check_find "$name" "$token"
    check_find "$name" "$absent"
done
for name in "${corpora[@]}"; do
    time_replace "$name"
    time_find "$name" "$token" match
    time_find "$name" "$absent" nomatch
done
time_undo small-lf
rm -rf "${inplace:?}"/*

# --- the undo journal's size on disk ---------------------------------------------------------
restore small-lf
# One run of the program: xargs would split the list, and each run starts a journal of its own.
(cd "$inplace/small-lf" && eval "$veldran_replace *.sch" >/dev/null 2>&1)
# Each user's journal is a folder of its own, one run folder in it per replace.
journal_dir=$work/log/veldran-undo-$(id -u)
journal_kib=$(du -sk "$journal_dir" | cut -f1)
journal_files=$(find "$journal_dir" -type f -not -name 'journal*' | wc -l)
rm -rf "${inplace:?}"/*

# --- the rewrite pass alone ------------------------------------------------------------------
echo "== the rewrite pass alone"
pass_lf=$("$rewrite_pass" "$token" "$repl" "$pristine"/large-lf/*.sch | cut -d' ' -f1)
pass_crlf=$("$rewrite_pass" "$token" "$repl" "$pristine"/large-crlf/*.sch | cut -d' ' -f1)

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
mem_row "veldran-cli find, no match, large corpus (${large[0]} files at once)" \
    "$(peak_kib "$cli" find --find "$absent" "$pristine"/large-lf/*.sch)"
mem_row "veldran-cli find, no match, one file of $(du -m "$huge_file" | cut -f1) MB" \
    "$(peak_kib "$cli" find --find "$absent" "$huge_file")"
mem_row "grep -lF, no match, the same file" "$(peak_kib env LC_ALL=C grep -lF -- "$absent" "$huge_file")"
mem_row "rg -lF -j1, no match, the same file" "$(peak_kib rg -lF -j1 -- "$absent" "$huge_file")"
restore large-lf
mem_row "veldran-cli replace, large corpus (${large[0]} files at once)" \
    "$(peak_kib "$cli" replace --no-log --find "$token" --replace "$repl" "$inplace"/large-lf/*.sch)"
restore large-crlf
mem_row "veldran-cli replace, large corpus with CR LF (${large[0]} files at once)" \
    "$(peak_kib "$cli" replace --no-log --find "$token" --replace "$repl" "$inplace"/large-crlf/*.sch)"
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
        --corpus "$pristine/small-lf" --files "$window_files" --work "$inplace/window" \
        --find "$token" --replace "$repl" --csv "$res/window.csv"
    window_note=
fi

# --- the table -------------------------------------------------------------------------------
median() { # csv name: the median in seconds
    awk -F, -v name="$2" 'NR > 1 && $1 == name { print $4 }' "$1"
}
cpu() { # csv name: the mean user plus system time in seconds
    awk -F, -v name="$2" 'NR > 1 && $1 == name { print $5 + $6 }' "$1"
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
    echo "| command | median | ratio to $base | CPU (user + sys) |"
    echo "|---|---:|---:|---:|"
    tail -n +2 "$csv" | cut -d, -f1 | while IFS= read -r name; do
        m=$(median "$csv" "$name")
        echo "| $name | $(seconds "$m") | $(ratio "$m" "$base_median") | $(seconds "$(cpu "$csv" "$name")") |"
    done
}

corpus_title() {
    case $1 in
    small-*) echo "many small files" ;;
    large-*) echo "few large files" ;;
    few-*) echo "a handful of large files" ;;
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
    echo "Medians of $runs runs (searches: $find_runs), timed by hyperfine $(hyperfine --version | cut -d' ' -f2) with the commands of a"
    echo "table taking turns, one run at a time, in a new order each round; page cache warm. Before every in-place run the corpus"
    echo "is restored from a pristine copy and synced to disk, untimed. Load average (1 min) at the"
    echo "start: $load_start, at the end: $(cut -d' ' -f1 /proc/loadavg); the machine is shared, so expect noise."
    echo "A ratio is the command's median divided by the first row's, both from this run:"
    echo "above 1, veldran-cli is faster. The files lie in one directory. In place, veldran-cli, sed and"
    echo "perl get them from \`find -print0 | xargs -0\`; searching, veldran-cli and cat take the shell's"
    echo "\`*.sch\` (one process each), grep -r and rg walk the directory themselves."
    echo "veldran-cli replaces with \`--no-log\`, like its peers, which keep no log; it keeps its undo"
    echo "journal (a second name for each original) unless \`--no-undo\`. \"without flushing\" is the same"
    echo "program with fdatasync and syncfs made no-ops by a preloaded library (bench/NoFlush.cpp): the"
    echo "difference is what making the new files durable before they are swapped in costs. sed and perl"
    echo "do not flush. \"cp -a then sync\" writes the copy to disk (sync flushes the whole file system)."
    echo "CPU is the mean user plus system time of the command and its children. cat allocates a fresh"
    echo "128 KiB buffer for every file (mmap, page faults, munmap), so on many small files it is no floor."
    if [ -n "$baseline_cli" ]; then
        echo "Rows named \"baseline\" are another build of veldran-cli, ${BENCH_BASELINE_LABEL:-$baseline_cli},"
        echo "timed in the same rounds as this one."
    fi
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
    for name in "${corpora[@]}" huge; do
        echo "| $name | $(describe_corpus "$name") |"
    done
    for name in "${corpora[@]}"; do
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
        vn=$(median "$csv" "veldran-cli replace without flushing")
        s=$(median "$csv" "sed -i")
        c=$(median "$csv" "cp -a (floor)")
        case $name in
        large-* | few-*) limit=0.33 ;;
        small-*) limit=0.6 ;;
        esac
        target "replace $name: at most $limit of sed -i's time" "$(ratio "$v" "$s")" \
            "$(met "$(ratio "$v" "$s")" '<=' "$limit")"
        target "(the same without flushing)" "$(ratio "$vn" "$s")" "(figure)"
        nu=$(median "$csv" "veldran-cli replace --no-undo")
        target "replace $name: the undo journal adds at most 10%" "$(ratio "$v" "$nu")" \
            "$(met "$(ratio "$v" "$nu")" '<=' 1.10)"
        nun=$(median "$csv" "veldran-cli replace --no-undo without flushing")
        target "(the same without flushing)" "$(ratio "$vn" "$nun")" "(figure)"
        target "replace $name: time over cp -a's (the floor)" \
            "$(ratio "$v" "$c")x, without flushing $(ratio "$vn" "$c")x" "(figure)"
        case $name in
        *-crlf)
            lf=$(median "$res/replace-${name%-crlf}-lf.csv" "veldran-cli replace")
            target "replace $name within 10% of ${name%-crlf}-lf" "$(ratio "$v" "$lf")" \
                "$(met "$(ratio "$v" "$lf")" '<=' 1.10)"
            ;;
        esac
        for kind in match nomatch; do
            csv=$res/find-$kind-$name.csv
            # A search of large files that finds nothing reads every byte: there the search
            # itself shows, and it is held to a tenth less than rg's time.
            case $kind-$name in
            nomatch-large-* | nomatch-few-*) limit=0.9 ;;
            *) limit=1.0 ;;
            esac
            r=$(ratio "$(median "$csv" "veldran-cli find")" "$(median "$csv" "rg -lF -j1")")
            target "find $name, $kind: at most $limit of rg -lF -j1's time" "$r" \
                "$(met "$r" '<=' "$limit")"
            if [ -n "$baseline_cli" ]; then
                b=$(ratio "$(median "$csv" "veldran-cli find")" \
                    "$(median "$csv" "baseline veldran-cli find")")
                target "(find $name, $kind, over the baseline's time)" "$b" "(figure)"
            fi
        done
        if [ -n "$baseline_cli" ]; then
            csv=$res/replace-$name.csv
            b=$(ratio "$v" "$(median "$csv" "baseline veldran-cli replace")")
            target "(replace $name over the baseline's time)" "$b" "(figure)"
        fi
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
    replace_huge=${mem_rows[6]##*|}
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
        echo "The dialog's Replace (offscreen, driven through its own command) and veldran-cli replace on"
        echo "the same $window_files files of small-lf, with the defaults of both (change log on), taking turns"
        echo "(\`veldran_window_bench\`, bench/WindowBench.cpp); both leave the same bytes:"
        echo
        table "$res/window.csv" "veldran-cli replace"
        w=$(ratio "$(median "$res/window.csv" "window Replace")" \
            "$(median "$res/window.csv" "veldran-cli replace")")
        target "the window's Replace within 1.3x of veldran-cli" "${w}x" "$(met "$w" '<=' 1.3)"
    else
        echo "$window_note"
        target "the window's Replace within 1.3x of veldran-cli" "not measured" "**open**"
    fi
    echo
    echo "## Undo"
    echo
    echo "A replace of small-lf given every file in one run, and the undo of that run (each timed"
    echo "after the corpus is restored; the undo after the replace it undoes, untimed):"
    echo
    table "$res/undo-small-lf.csv" "veldran-cli replace (one run)"
    u=$(median "$res/undo-small-lf.csv" "veldran-cli undo")
    r=$(median "$res/undo-small-lf.csv" "veldran-cli replace (one run)")
    target "undo small-lf: at most 1.5x the replace it undoes" "$(ratio "$u" "$r")" \
        "$(met "$(ratio "$u" "$r")" '<=' 1.5)"
    echo
    echo "## The undo journal"
    echo
    echo "After a replace of small-lf, the journal holds $journal_files files in $journal_kib KiB of its own"
    echo "(\`du -sk\`; the originals are second names of the swapped-out files, so their blocks are"
    echo "counted only once, here, while the scheme directory no longer holds them)."
    echo
    echo "## The rewrite pass alone"
    echo
    echo "\`veldran_rewrite_pass\` (bench/RewritePass.cpp): the new text of every file of a large corpus,"
    echo "already in memory, on one core (median of 7 passes): LF $pass_lf MB/s, CR LF $pass_crlf MB/s."
    target "the rewrite pass: at least 1 GB/s per core on large-lf" "$pass_lf MB/s" \
        "$(met "$pass_lf" '>=' 1000)"
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
