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

ms() { # the median of the microseconds on stdin, in milliseconds
    sort -n | awk '{ v[NR] = $1 } END { printf "%.2f", v[int((NR + 1) / 2)] / 1000 }'
}
timed() { # COMMAND...: wall-clock microseconds, through perl for precision
    perl -MTime::HiRes=time -e '$s = time; system(@ARGV) == 0 or exit 1; printf "%d\n", (time - $s) * 1e6' "$@"
}

n=0
for skyloom in "$@"; do
    n=$((n + 1))
    export XDG_DATA_HOME="$root/data-$n"
    (cd "$root/kept" && ls | sed "s|^|$root/kept/|" | xargs "$skyloom" pin >/dev/null)
    : >"$root/pin" && : >"$root/touch"
    for i in $(seq 1 "$rounds"); do
        mkdir "$root/p-$n-$i" "$root/t-$n-$i"
        timed "$skyloom" pin "$root/p-$n-$i" >>"$root/pin"
        timed touch -a -d @4102488000 "$root/t-$n-$i" >>"$root/touch"
        "$skyloom" unpin "$root/p-$n-$i" >/dev/null
    done
    pin=$(ms <"$root/pin") touch=$(ms <"$root/touch")
    echo "$skyloom with $pins pins: skyloom pin $pin ms, touch -a $touch ms," \
        "ratio $(echo "$pin $touch" | awk '{ printf "%.1f", $1 / $2 }') (medians of $rounds)"
    (cd "$root/kept" && ls | sed "s|^|$root/kept/|" | xargs "$skyloom" unpin >/dev/null)
done
