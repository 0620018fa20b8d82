#!/bin/bash
# The command-line host: usage line, exit codes, and the library beside it.
# Usage: hostTest.sh path/to/vesk-extract
set -u
host=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
expect() {  # expect WHAT EXPECTED-STATUS EXPECTED-STDERR COMMAND...
    local what=$1 status=$2 expected=$3
    shift 3
    local error
    error=$("$@" 2>&1 >/dev/null)
    local actual=$?
    if [ "$actual" != "$status" ] || [ "$error" != "$expected" ]; then
        echo "FAIL $what: status $actual, stderr: $error"
        failures=$((failures + 1))
    fi
}

usage='usage: vesk-extract ARCHIVE [DEST]'
expect "no arguments" 2 "$usage" "$host"
expect "three arguments" 2 "$usage" "$host" a b c
expect "missing archive" 1 "ZEL Development Environment: Cannot open input file #$work/none.zip# :-(" \
    "$host" "$work/none.zip" "$work/out"
printf 'not an archive, but long enough to be looked at' > "$work/plain.txt"
expect "no end record" 1 "" "$host" "$work/plain.txt"

# Without the library beside it the host says so.
cp "$host" "$work/alone"
"$work/alone" "$work/plain.txt" 2> "$work/error"
status=$?
if [ $status != 2 ] || ! grep -q '^vesk-extract: .*libvesk.so' "$work/error"; then
    echo "FAIL without library: status $status, stderr: $(cat "$work/error")"
    failures=$((failures + 1))
fi

[ $failures = 0 ] && echo "host: all passed"
exit $failures
