#!/bin/sh
# `skyloom pin` of one folder against `touch -a` of one folder, on a store
# that already holds N pins (default 10000), for each binary given, side by
# side on the same folders. Prints medians of ROUNDS runs (default 21).
# Usage: bench/pin-vs-touch.sh [-n N] [-r ROUNDS] skyloom...
set -eu
pins=10000 rounds=21
while getopts n:r: option; do
    case $option in
    n) pins=$OPTARG ;;
    r) rounds=$OPTARG ;;
    *) exit 2 ;;
    esac
done
shift $((OPTIND - 1))
[ $# -gt 0 ] || set -- "$(dirname "$0")/../build/bin/skyloom"
root=$(mktemp -d /tmp/skyloom-pinbench-XXXXXX)
trap 'rm -rf "$root"' EXIT
export XDG_RUNTIME_DIR="$root/runtime"
mkdir -m 700 "$XDG_RUNTIME_DIR" "$root/kept"
(cd "$root/kept" && seq 1 "$pins" | xargs mkdir)

ms() { # the median of the microseconds in field $1 of stdin, in milliseconds
    cut -d' ' -f"$1" | sort -n | awk '{ v[NR] = $1 } END { printf "%.2f", v[int((NR + 1) / 2)] / 1000 }'
}
timed() { # COMMAND...: wall-clock and processor microseconds, from wait4's own accounting
    python3 -c '
import os, sys, time
start = time.perf_counter()
pid = os.posix_spawnp(sys.argv[1], sys.argv[1:], os.environ)
_, status, usage = os.wait4(pid, 0)
wall = time.perf_counter() - start
if os.waitstatus_to_exitcode(status) != 0:
    sys.exit(1)
print("%d %d" % (wall * 1e6, (usage.ru_utime + usage.ru_stime) * 1e6))
' "$@"
}
ratio() { echo "$1 $2" | awk '{ printf "%.2f", $1 / $2 }'; }

# Each binary gets its own store of N pins; the rounds then take the
# binaries in turn, so that a busy moment of the machine falls on all alike.
n=0
for skyloom in "$@"; do
    n=$((n + 1))
    XDG_DATA_HOME="$root/data-$n" sh -c \
        'cd "$1/kept" && ls | sed "s|^|$1/kept/|" | xargs "$2" pin >/dev/null' - "$root" "$skyloom"
    : >"$root/pin-$n" && : >"$root/touch-$n"
done
for i in $(seq 1 "$rounds"); do
    n=0
    for skyloom in "$@"; do
        n=$((n + 1))
        export XDG_DATA_HOME="$root/data-$n"
        mkdir "$root/p-$n-$i" "$root/t-$n-$i"
        timed "$skyloom" pin "$root/p-$n-$i" >>"$root/pin-$n"
        timed touch -a -d @4102488000 "$root/t-$n-$i" >>"$root/touch-$n"
        "$skyloom" unpin "$root/p-$n-$i" >/dev/null
    done
done
n=0
for skyloom in "$@"; do
    n=$((n + 1))
    pin=$(ms 1 <"$root/pin-$n") touch=$(ms 1 <"$root/touch-$n")
    pinCpu=$(ms 2 <"$root/pin-$n") touchCpu=$(ms 2 <"$root/touch-$n")
    echo "$skyloom with $pins pins (medians of $rounds):" \
        "wall: skyloom pin $pin ms, touch -a $touch ms, ratio $(ratio "$pin" "$touch");" \
        "processor: $pinCpu ms against $touchCpu ms, ratio $(ratio "$pinCpu" "$touchCpu")"
done
