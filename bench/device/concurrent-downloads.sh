#!/usr/bin/env bash
# Many `tklcli download` processes at once against one device memory: first each to a
# port of its own, then all to the same port. Prints how many succeeded and how long the
# slowest took. Every one must succeed: they only queue for the memory's lock.
#
#   bench/device/concurrent-downloads.sh [BUILD_DIR] [PROCESSES] [BUSY_LOOPS]
#
# BUSY_LOOPS shell loops spin beside them to load the machine further (default 2).
set -uo pipefail
here="$(cd "$(dirname "$0")/../.." && pwd)"
build="${1:-$here/build}"
count="${2:-40}"
busy="${3:-2}"
tklcli="$build/bin/tklcli"
[ -x "$tklcli" ] || { echo "no $tklcli; build first" >&2; exit 2; }

work="$(mktemp -d)"
trap 'kill $(jobs -p) 2>/dev/null; rm -rf "$work"' EXIT
export TKL_NETWORK="$work/network.json" TKL_DEVICE_STORE="$work/devices.json"
{
    echo '{ "nodes": [ { "name": "Printers", "address": "NET1.ST42", "capabilities": "65", "variables": [] } ],'
    echo '  "ports": ['
    for n in $(seq 1 "$count"); do
        sep=','; [ "$n" = "$count" ] && sep=''
        echo "    { \"name\": \"P$n\", \"node\": \"Printers\" }$sep"
    done
    echo '  ] }'
} > "$TKL_NETWORK"
layout="$here/examples/old-ticket.txt"

for b in $(seq 1 "$busy"); do (while :; do :; done) & done

run() { # label, then the port of each process (a word per process)
    local label="$1"; shift
    local start end failed=0 i=0 pids=()
    start=$(date +%s.%N)
    for port in "$@"; do
        i=$((i + 1))
        ( s=$(date +%s.%N); "$tklcli" download "$layout" --port "$port" >/dev/null 2>"$work/err$i"
          echo "$? $(echo "$(date +%s.%N) - $s" | bc)" > "$work/res$i" ) &
        pids+=($!)
    done
    wait "${pids[@]}"
    end=$(date +%s.%N)
    local slowest=0
    for j in $(seq 1 $i); do
        read -r status secs < "$work/res$j"
        if [ "$status" != 0 ]; then failed=$((failed + 1)); sed 's/^/    /' "$work/err$j" | head -2; fi
        slowest=$(echo "if ($secs > $slowest) $secs else $slowest" | bc)
    done
    printf '%-28s %d of %d succeeded, all done in %.1f s, slowest process %.1f s\n' "$label:" \
        $((i - failed)) "$i" "$(echo "$end - $start" | bc)" "$slowest"
    [ "$failed" = 0 ]
}

ports=(); same=()
for n in $(seq 1 "$count"); do ports+=("P$n"); same+=("P1"); done
echo "$count tklcli downloads at once, $(nproc) cores, $busy busy loops beside them, load $(cut -d' ' -f1 /proc/loadavg)"
ok=0
run "to $count different ports" "${ports[@]}" || ok=1
run "to one port" "${same[@]}" || ok=1
# Nothing lost: every port holds the ticket.
held=$(grep -c '"P[0-9]*.lines"' "$TKL_DEVICE_STORE")
echo "ports holding the ticket afterwards: $held of $count"
[ "$held" = "$count" ] || ok=1
exit $ok
