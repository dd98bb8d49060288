#!/usr/bin/env bash
# Shows, one line per case, what a veldran-cli does with the hostile cases that a shell can
# stage: a FIFO, device or planted link where a file should be, lost permission bits, memory,
# signals, limits and a reader that goes away. Run it with two builds to compare them:
#
#   tests/cli/hostile_cases.sh [path/to/veldran-cli]     (default: build/cli/veldran-cli)
#
# Needs root (links of another user, setuid bits), setfacl and python3. The cases at the very
# moment before the swap need a hook between two system calls: the core suite has them
# (HostileInput.AnotherProgramsSaveJustBeforeTheSwapIsKept, TwoVeldransOnOneFileTakeTurns).
set -uo pipefail
cli=$(realpath "${1:-build/cli/veldran-cli}")
work=$(mktemp -d /tmp/veldran-cases-XXXXXX)
trap 'rm -rf "$work"' EXIT
cd "$work" || exit 1
mkdir log data
printf 'SB_TEMP=%s/log\nSB_SHIPDATA=%s/data\n' "$work" "$work" >table
export TB_ENV_TABLE=$work/table
say() { printf '%-44s %s\n' "$1" "$2"; }
leftovers() { find "$work" -name '.veldran-*' | wc -l; }
ends() { # how a command ended, given its exit status
    if [ "$1" -eq 124 ]; then echo "hangs (killed after 5 s)"; elif [ "$1" -gt 128 ]; then
        echo "killed by signal $(($1 - 128))"; else echo "exit $1"; fi
}

# 1. Two runs over the same files at once: each one's changes must survive the other's.
for i in $(seq 200); do echo "AH36 AH40" >"s$i.sch"; done
"$cli" replace -f AH36 -r EH36 --no-log s*.sch >/dev/null 2>&1 &
"$cli" replace -f AH40 -r EH40 --no-log s*.sch >/dev/null 2>&1
wait
say "two runs at once, files with both changes" "$(grep -l 'EH36 EH40' s*.sch | wc -l) of 200"
rm -f s*.sch

# 3. Permission bits and the ACL travel with the file.
echo AH36 >m.sch
chmod 6754 m.sch
setfacl -m u:nobody:rw,m::r m.sch
before="$(stat -c %a m.sch) $(getfacl -cp m.sch | tr '\n' ' ')"
"$cli" replace -f AH36 -r EH36 --no-log m.sch >/dev/null 2>&1
after="$(stat -c %a m.sch) $(getfacl -cp m.sch | tr '\n' ' ')"
say "mode and ACL kept" "$([ "$before" = "$after" ] && echo yes || echo "no: $before -> $after")"

# 4. The change log as a FIFO, and as another user's link in a shared sticky directory.
echo AH36 >f.sch
mkfifo log/VELDRAN.log
timeout 5 "$cli" replace -f AH36 -r EH36 f.sch >/dev/null 2>err
rc=$?
say "change log is a FIFO" "$(ends $rc); $(head -1 err | tail -c 40)"
rm log/VELDRAN.log
mkdir -m 1777 shared
echo "root's own file" >victim
ln -s "$work/victim" shared/VELDRAN.log
chown -h nobody shared/VELDRAN.log
printf 'SB_TEMP=%s/shared\n' "$work" >table2
TB_ENV_TABLE=$work/table2 "$cli" replace -f EH36 -r AH36 f.sch >/dev/null 2>&1
say "another user's link as change log" "target $( [ "$(cat victim)" = "root's own file" ] && echo untouched || echo appended to)"

# 5. Memory of a 10 MB file of short changed lines; tables that never end.
yes AH36 | head -c 10000000 >big.sch
/usr/bin/time -f %M -o rss "$cli" replace -f AH36 -r EH36 big.sch >/dev/null 2>&1
say "10 MB of changed lines, peak memory" "$(($(cat rss) / 1024)) MiB"
rm -f big.sch log/*
for table in /dev/zero fifo; do
    [ "$table" = fifo ] && mkfifo fifo && table=$work/fifo
    (ulimit -v 4000000; TB_ENV_TABLE=$table exec timeout 5 "$cli" env >/dev/null 2>err)
    rc=$?
    say "TB_ENV_TABLE=$(basename "$table")" "$(ends $rc); $(head -1 err | tail -c 40)"
done

# 6. Find Only on a FIFO and a device.
for f in fifo /dev/zero; do
    timeout 5 "$cli" find -f AH36 "$f" >/dev/null 2>err
    rc=$?
    say "find on $(basename "$f")" "$(ends $rc); $(head -1 err | tail -c 40)"
done

# 7. Ends: a signal in the middle of a large file, a reader that goes away, a file size limit,
# a file too large for memory.
echo AH36 >a.sch
echo AH36 >c.sch
yes "PLATE,AH36,THK=12.0,X=1200.0" | head -c 400000000 >large.sch
"$cli" replace -f AH36 -r EH36 --no-log a.sch large.sch c.sch >out 2>err &
# The first file listed: the program is at the large one now.
until [ -s out ] || ! kill -0 $! 2>/dev/null; do :; done
kill -TERM $!
wait $!
rc=$?
say "SIGTERM during a large file" "exit $rc, $(wc -l <out) listed, $(leftovers) temporaries"
rm -f large.sch
"$cli" replace -f EH36 -r AH36 --no-log a.sch c.sch 2>err | head -0
say "stdout closed early (| head)" "exit ${PIPESTATUS[0]}; $(grep -c 'standard output' err) reports"
yes "PLATE,AH36" | head -c 100000 >mid.sch
echo AH36 >c.sch
(ulimit -f 16; exec "$cli" replace -f AH36 -r EH36 --no-log mid.sch c.sch >/dev/null 2>err)
rc=$?
say "ulimit -f 16" "$(ends $rc); $(leftovers) temporaries; $(grep -c 'too large' err) reports"
head -c 200000000 /dev/zero >huge.sch
echo AH36 >c.sch
(ulimit -v 300000; exec "$cli" replace -f AH36 -r EH36 --no-log huge.sch c.sch >out 2>err)
rc=$?
say "a file too large for memory" "$(ends $rc); $(grep -c 'out of memory' err) reports, $(wc -l <out) later files listed"

# 8. A file that only the wrap rule rewrites.
printf '%080d\n' 0 | tr 0 Q | sed 's/Q/Q,/30' >w.sch
"$cli" replace -f NONE -r X --no-log w.sch >/dev/null 2>err
say "only wrapped: summary" "$(tail -1 err | cut -c14-)"
