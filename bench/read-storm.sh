#!/usr/bin/env bash
# What reads inside a pinned folder cost with the app running: 8,000 reads
# of small files in a pinned folder and a grep -r over a pinned tree, timed
# without and with the real skyloom-app (offscreen, its own XDG dirs), each
# run in turns with the same work on an unpinned copy (the machine's load
# changes from second to second), and the app's CPU time over the runs on
# the pinned tree (from /proc/<pid>/stat). Also checks that a drifted pin
# is still put back.
#
#   bench/read-storm.sh [BUILD_DIR=build] [RUNS=7]
#
# SKYLOOM_FOLDER_EVENTS=inotify in the environment measures the fallback.
set -euo pipefail

build=${1:-build}
runs=${2:-7}
app=$(realpath "$build/bin/skyloom-app")
cli=$(realpath "$build/bin/skyloom")

root=$(mktemp -d /tmp/skyloom-read-storm-XXXXXX)
mkdir -m 700 "$root/run" "$root/data" "$root/config"
export XDG_RUNTIME_DIR=$root/run XDG_DATA_HOME=$root/data XDG_CONFIG_HOME=$root/config
export XCTestConfigurationFilePath=1 # no update check, no welcome window
export QT_QPA_PLATFORM=offscreen
app_pid=
cleanup() {
    [[ -n $app_pid ]] && kill "$app_pid" 2>/dev/null && wait "$app_pid" 2>/dev/null
    rm -rf "$root"
}
trap cleanup EXIT

# A pinned working folder: 8,000 small files, and ten pinned subfolders of
# 500 files each for the search; and the same tree, not pinned, so that the
# two can be timed in turns under the same load of the machine.
pinned=$root/work
unpinned=$root/plain
python3 - "$pinned" "$unpinned" <<'PY'
import os, sys
for top in sys.argv[1:]:
    os.mkdir(top)
    for i in range(8000):
        with open(os.path.join(top, "f%d.txt" % i), "w") as f:
            f.write("line %d of a small file\n" % i * 4)
    for d in range(10):
        sub = os.path.join(top, "d%d" % d)
        os.mkdir(sub)
        for i in range(500):
            with open(os.path.join(sub, "s%d.c" % i), "w") as f:
                f.write("int f%d(void) { return %d; }\n" % (i, i) * 8)
PY
"$cli" pin -- "$pinned" "$pinned"/d* >/dev/null

reads() { cat "$1"/f*.txt >/dev/null; }
search() { grep -r needle "$1" >/dev/null || true; }

cpu_ticks() { [[ -n $app_pid ]] && awk '{print $14 + $15}' "/proc/$app_pid/stat" || echo 0; }
median() { sort -n | awk '{a[NR]=$1} END {printf "%.1f", a[int((NR+1)/2)] / 1000}'; }

# RUNS turns of the work on the unpinned and the pinned tree; sets the
# medians (ms), and the app's CPU ticks and the wall time (ms) of the
# pinned runs.
measure() {
    local work=$1 plain=() watched=() t0 c0
    "$work" "$unpinned"
    "$work" "$pinned" # warm the page cache
    ticks=0 wall=0
    for _ in $(seq "$runs"); do
        t0=$(date +%s%N)
        "$work" "$unpinned"
        plain+=($((($(date +%s%N) - t0) / 1000)))
        c0=$(cpu_ticks)
        t0=$(date +%s%N)
        "$work" "$pinned"
        watched+=($((($(date +%s%N) - t0) / 1000)))
        ticks=$((ticks + $(cpu_ticks) - c0))
        wall=$((wall + watched[-1] / 1000))
    done
    plain_ms=$(printf '%s\n' "${plain[@]}" | median)
    pinned_ms=$(printf '%s\n' "${watched[@]}" | median)
}

declare -A alone
for work in reads search; do
    measure $work
    alone[$work]=$pinned_ms
done

"$app" --login-item >/dev/null 2>&1 &
app_pid=$!
# Started when its command socket answers.
for _ in $(seq 100); do
    "$cli" list >/dev/null 2>&1 && [[ -S $(find "$root/run" -type s | head -n1) ]] && break
    sleep 0.1
done
kill -0 "$app_pid" || { echo "skyloom-app exited" >&2; exit 1; }
sleep 1 # let start-up settle

hz=$(getconf CLK_TCK)
for work in reads search; do
    measure $work
    awk -v w="$work" -v alone="${alone[$work]}" -v plain="$plain_ms" -v pinned="$pinned_ms" \
        -v ticks="$ticks" -v hz="$hz" -v wall="$wall" 'BEGIN {
        printf "%s: pinned tree %.1f ms with the app, %.1f ms without it (%.3fx);", w, pinned, alone, pinned / alone
        printf " in turns with the app running: unpinned copy %.1f ms (%.3fx);", plain, pinned / plain
        printf " the app used %.2f%% of a core (%d ticks over %d ms)\n", 100 * ticks / hz / (wall / 1000), ticks, wall
    }'
done

# A pin someone else changed is put back within a second.
touch -a -d 2001-01-01 "$pinned"
t0=$(date +%s%N)
until [[ $(stat -c %X "$pinned") -gt 4000000000 ]]; do
    (($(date +%s%N) - t0 < 5000000000)) || { echo "drifted pin not put back within 5 s"; exit 1; }
    sleep 0.01
done
echo "drifted pin put back in $((($(date +%s%N) - t0) / 1000000)) ms"
