#!/usr/bin/env bash
# The real skyloom-app with 1,000 pins on a private X server with a tray:
# time from start to its tray icon, resident memory, and wake-ups while idle
# (context switches of all its threads over IDLE seconds, from /proc).
#
#   bench/app-idle.sh [BUILD_DIR=build] [PINS=1000] [IDLE=10]
#
# Needs Xvfb and trayer (scripts/install-deps --test). Without skyloom-app in
# the build, build/bench/ShellIdleBench gives the shell's own figures.
set -euo pipefail

build=${1:-build}
pins=${2:-1000}
idle=${3:-10}
app=$(find "$build" -name skyloom-app -type f -perm -u+x | head -n1)
cli=$(find "$build" -name skyloom -type f -perm -u+x | head -n1)
if [[ -z "$app" || -z "$cli" ]]; then
    echo "skyloom-app or skyloom not built in $build; run $build/bench/ShellIdleBench instead" >&2
    exit 1
fi

root=$(mktemp -d /tmp/skyloom-app-bench-XXXXXX)
mkdir -m 700 "$root/run" "$root/data" "$root/config" "$root/folders"
export XDG_RUNTIME_DIR=$root/run XDG_DATA_HOME=$root/data XDG_CONFIG_HOME=$root/config
export XCTestConfigurationFilePath=1 # no update check, no welcome window
pids=()
cleanup() {
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    wait 2>/dev/null || true
    rm -rf "$root"
}
trap cleanup EXIT

display=:$((100 + $$ % 100))
Xvfb "$display" -nolisten tcp -screen 0 1024x768x24 &
pids+=($!)
export DISPLAY=$display
for _ in $(seq 50); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done
trayer --edge top --align right --widthtype request --height 24 &
pids+=($!)
sleep 0.5

# The pins exist before the app starts, as after an earlier session.
folders=()
for i in $(seq "$pins"); do folders+=("$root/folders/f$i"); done
mkdir "${folders[@]}"
"$cli" pin -- "${folders[@]}" >/dev/null
echo "pinned: $("$cli" list | wc -l) folders"

start=$(date +%s%N)
"$app" --login-item &
app_pid=$!
pids+=("$app_pid")
# The tray icon is the app's first mapped window.
deadline=$((start + 30000000000))
until xdotool search --onlyvisible --pid "$app_pid" >/dev/null 2>&1; do
    kill -0 "$app_pid" 2>/dev/null || { echo "skyloom-app exited" >&2; exit 1; }
    (($(date +%s%N) < deadline)) || { echo "no tray icon within 30 s" >&2; exit 1; }
    sleep 0.01
done
echo "start to tray icon: $((($(date +%s%N) - start) / 1000000)) ms"

switches() {
    local total=0 n
    for task in /proc/"$app_pid"/task/*; do
        n=$(awk '/ctxt_switches/ {s += $2} END {print s}' "$task/status")
        total=$((total + n))
    done
    echo "$total"
}
sleep 2 # let start-up settle
before=$(switches)
sleep "$idle"
after=$(switches)
echo "idle wake-ups over ${idle} s (context switches, all threads): $((after - before))"
awk '/VmRSS|VmHWM/ {printf "%s %.1f MB\n", $1, $2 / 1024}' /proc/"$app_pid"/status
