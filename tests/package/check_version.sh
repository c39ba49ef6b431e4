#!/usr/bin/env bash
# ledwheel --version prints one line and exits 0; without arguments the dialog starts as it did.
#   check_version.sh PROGRAM VERSION
set -euo pipefail
# shellcheck source=tests/package/common.sh
source "$(dirname "$0")/common.sh"
program=$1 version=$2

out=$("$program" --version 2>"$tmp/err" </dev/null) || fail "--version exited $?"
[[ $out == "ledwheel $version" ]] || fail "--version printed '$out', expected 'ledwheel $version'"
[[ ! -s $tmp/err ]] || fail "--version wrote to standard error: $(cat "$tmp/err")"
[[ ! -e errinfo.\$\$\$ ]] || fail "--version left errinfo.\$\$\$"

# A version that cannot be written is not a success.
if "$program" --version >/dev/full 2>/dev/null; then fail "--version into a full output exited 0"; fi

# No argument is the dialog, as it always was; it ends with status 1 when standard input is empty.
status=0
(cd "$tmp" && "$program") </dev/null >"$tmp/out" 2>/dev/null || status=$?
grep -q "24 LEDS BITMAP TO PIC-MEMORY CONVERTER" "$tmp/out" || fail "no argument did not start the dialog"
[[ $status -eq 1 ]] || fail "no argument and no input exited $status, expected 1"

echo "ok: ledwheel $version"
