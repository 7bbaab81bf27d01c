#!/bin/sh
# Compares the long options a program's --help lists with those its man page lists; prints the difference.
set -eu
prog=$1
page=$2
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
QT_QPA_PLATFORM=offscreen "$prog" --help | grep -o -- '--[a-z][a-z0-9-]*' | sort -u >"$tmp/help"
sed 's/\\-/-/g' "$page" | grep -o -- '--[a-z][a-z0-9-]*' | sort -u >"$tmp/man"
# --help itself and --version may be described in prose in either.
grep -v -x -e '--help' -e '--version' "$tmp/help" >"$tmp/h" || true
grep -v -x -e '--help' -e '--version' "$tmp/man" >"$tmp/m" || true
if ! diff -u "$tmp/h" "$tmp/m" >"$tmp/diff"; then
    echo "$page and $prog --help list different options (- only in --help, + only in the man page):"
    grep '^[-+]-' "$tmp/diff" || true
    exit 1
fi
echo "$page: $(wc -l <"$tmp/h") options, as --help lists them"
