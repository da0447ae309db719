#!/bin/sh
# Disk syncs of one `skyloom pin` (and the `unpin` after it) on a real store,
# counted with strace: for 1 folder and for 100 folders in one command, in a
# store that already holds a few pins. Usage: bench/sync-count.sh [skyloom]...
# Several binaries are measured side by side. With the store's write-ahead
# log folded in after each save, a save costs three: the log's header when
# the emptied log starts again, the log before the fold, the store file.
set -eu
[ $# -gt 0 ] || set -- "$(dirname "$0")/../build/bin/skyloom"
command -v strace >/dev/null || { echo "strace is not installed" >&2; exit 2; }
root=$(mktemp -d /tmp/skyloom-syncs-XXXXXX)
trap 'rm -rf "$root"' EXIT
export XDG_RUNTIME_DIR="$root/runtime"
mkdir -m 700 "$XDG_RUNTIME_DIR"

# syncs COMMAND...: the number of fsync and fdatasync calls the command made.
syncs() {
    strace -f -c -e trace=fsync,fdatasync -o "$root/trace" "$@" >/dev/null 2>&1 || true
    awk '$NF == "fsync" || $NF == "fdatasync" { n += $4 } END { print n + 0 }' "$root/trace"
}

n=0
for skyloom in "$@"; do
    n=$((n + 1))
    export XDG_DATA_HOME="$root/data-$n"
    mkdir -p "$root/$n"
    for i in 1 2 3; do mkdir "$root/$n/kept-$i"; done
    "$skyloom" pin "$root/$n/kept-1" "$root/$n/kept-2" "$root/$n/kept-3" >/dev/null
    mkdir "$root/$n/one"
    one=$(syncs "$skyloom" pin "$root/$n/one")
    unone=$(syncs "$skyloom" unpin "$root/$n/one")
    for i in $(seq 1 100); do mkdir "$root/$n/many-$i"; done
    hundred=$(syncs "$skyloom" pin "$root/$n"/many-*)
    unhundred=$(syncs "$skyloom" unpin "$root/$n"/many-*)
    echo "$skyloom: pin 1 folder: $one syncs, unpin: $unone; pin 100 folders: $hundred syncs, unpin: $unhundred"
done
