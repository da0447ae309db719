#!/usr/bin/env bash
# From the start of skyloom-app to its icon sitting in a real tray: an X
# server of its own (Xvfb), openbox and trayer, a new user's empty home, and
# RUNS starts as a login item (no window opens). Prints each figure and the
# median. Usage: bench/app-startup.sh [build/bin/skyloom-app] [RUNS]
set -euo pipefail
app=$(realpath "${1:-build/bin/skyloom-app}")
runs=${2:-5}
for n in $(seq 150 199); do [[ -e /tmp/.X$n-lock ]] || break; done
export DISPLAY=:$n
home=$(mktemp -d)
pids=()
cleanup() { kill "${pids[@]}" 2>/dev/null || true; rm -rf "$home"; }
trap cleanup EXIT
Xvfb "$DISPLAY" -screen 0 1280x800x24 -nolisten tcp >/dev/null 2>&1 & pids+=($!)
sleep 1
openbox >/dev/null 2>&1 & pids+=($!)
trayer --edge top --align right --widthtype request --height 24 >/dev/null 2>&1 & pids+=($!)
sleep 1
mkdir -m 700 "$home/run"
HOME=$home XDG_RUNTIME_DIR=$home/run python3 - "$app" "$runs" <<'PY'
import os, statistics, subprocess, sys, time
app, runs = sys.argv[1], int(sys.argv[2])
env = {k: v for k, v in os.environ.items() if not k.startswith(("XDG_CONFIG", "XDG_DATA", "DBUS", "QT_QPA"))}
def tray():
    tree = subprocess.run(["xwininfo", "-root", "-tree"], capture_output=True, text=True).stdout
    return [l for l in tree.splitlines() if '"skyloom-app"' in l and "22x22" in l or "24x24" in l and "trayer" in l]
figures = []
for i in range(runs + 1):  # the first start also writes the store and the entries
    t0 = time.monotonic()
    p = subprocess.Popen([app, "--login-item"], env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    while not tray() and time.monotonic() - t0 < 10:
        time.sleep(0.002)
    ms = (time.monotonic() - t0) * 1000
    if i:
        figures.append(ms)
        print("start to tray icon: %.0f ms" % ms)
    p.terminate(); p.wait()
    while tray():
        time.sleep(0.01)
print("median: %.0f ms" % statistics.median(figures))
PY
