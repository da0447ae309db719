#!/usr/bin/env bash
# What reads inside a pinned folder cost with the app running: 8,000 reads
# of small files in a pinned folder and a grep -r over a pinned tree, timed
# without and with the real skyloom-app (offscreen, its own XDG dirs), and
# the app's CPU time over the runs with it (from /proc/<pid>/stat). Also
# checks that a drifted pin is still put back.
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
# 500 files each for the search.
pinned=$root/work
mkdir "$pinned"
python3 - "$pinned" <<'PY'
import os, sys
top = sys.argv[1]
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

reads() { cat "$pinned"/f*.txt >/dev/null; }
search() { grep -r needle "$pinned" >/dev/null || true; }

# Median wall time in ms of RUNS runs of a workload.
timed() {
    local figures=() t0
    "$1" # warm the page cache
    for _ in $(seq "$runs"); do
        t0=$(date +%s%N)
        "$1"
        figures+=($((($(date +%s%N) - t0) / 1000)))
    done
    printf '%s\n' "${figures[@]}" | sort -n | awk '{a[NR]=$1} END {printf "%.1f", a[int((NR+1)/2)] / 1000}'
}

cpu_ticks() { awk '{print $14 + $15}' "/proc/$app_pid/stat"; }

declare -A without with
for work in reads search; do without[$work]=$(timed $work); done

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
    t0=$(date +%s%N)
    c0=$(cpu_ticks)
    with[$work]=$(timed $work)
    c1=$(cpu_ticks)
    wall=$((($(date +%s%N) - t0) / 1000000))
    cpu=$(awk -v t=$((c1 - c0)) -v hz="$hz" -v w="$wall" 'BEGIN {printf "%.2f", 100 * t / hz / (w / 1000)}')
    ratio=$(awk -v a="${with[$work]}" -v b="${without[$work]}" 'BEGIN {printf "%.3f", a / b}')
    echo "$work: ${without[$work]} ms without the app, ${with[$work]} ms with it (${ratio}x);" \
        "the app used ${cpu}% of a core ($((c1 - c0)) ticks over ${wall} ms)"
done

# A pin someone else changed is put back within a second.
touch -a -d 2001-01-01 "$pinned"
t0=$(date +%s%N)
until [[ $(stat -c %X "$pinned") -gt 4000000000 ]]; do
    (($(date +%s%N) - t0 < 5000000000)) || { echo "drifted pin not put back within 5 s"; exit 1; }
    sleep 0.01
done
echo "drifted pin put back in $((($(date +%s%N) - t0) / 1000000)) ms"
