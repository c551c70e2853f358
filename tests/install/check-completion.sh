#!/usr/bin/env bash
# check-completion.sh COMPLETION TKLCLI: what the bash completion offers, with the
# completion framework's two helpers stood in for, so that it runs where the framework
# is not installed.
set -uo pipefail
completion=$1 tklcli=$2
network=$(mktemp)
trap 'rm -f "$network"' EXIT
cat >"$network" <<'JSON'
{ "nodes": [ { "name": "Module", "address": "NET1.ST07", "capabilities": "65 ticket printer", "variables": [] } ],
  "ports": [ { "name": "Packing", "node": "Module" }, { "name": "Palletiser", "node": "Module" },
             { "name": "Gate", "node": "Module" } ] }
JSON
export TKL_NETWORK=$network

_init_completion() {
    words=("${COMP_WORDS[@]}") cword=$COMP_CWORD
    cur=${words[cword]} prev=${words[cword - 1]}
}
_filedir() { COMPREPLY=(FILES); }
complete() { :; }
source "$completion"

failed=0
# offered WORDS... -- EXPECTED: the sorted offers for the command line WORDS (the last one
# being completed) are EXPECTED.
offered() {
    local args=() expected
    while [ "$1" != -- ]; do args+=("$1"); shift; done
    shift
    COMP_WORDS=("$tklcli" "${args[@]}") COMP_CWORD=${#args[@]} COMPREPLY=()
    _tklcli
    expected=$(printf '%s\n' "$@" | sort)
    if [ "$(printf '%s\n' "${COMPREPLY[@]}" | sort)" != "$expected" ]; then
        echo "FAIL: tklcli ${args[*]}| offers: ${COMPREPLY[*]}; expected: $*"
        failed=1
    fi
}
offered download x.txt --port "" -- Packing Palletiser Gate
offered check --port Pa -- Packing Palletiser
offered show --port G -- Gate
offered po -- ports
offered ports --f -- --format
offered help p -- preview ports
offered check --format "" -- text json
offered download "" -- FILES
exit $failed
