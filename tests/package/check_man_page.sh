#!/usr/bin/env bash
# The manual page renders without a warning from either formatter and keeps its sections.
#   check_man_page.sh PAGE VERSION
set -euo pipefail
# shellcheck source=tests/package/common.sh
source "$(dirname "$0")/common.sh"
page=$1 version=$2
need groff groff-base
need mandoc mandoc

groff -ww -z -man "$page" >"$tmp/groff" 2>&1 || fail "groff failed: $(cat "$tmp/groff")"
[[ ! -s $tmp/groff ]] || fail "groff warns:"$'\n'"$(cat "$tmp/groff")"
mandoc -T lint "$page" >"$tmp/mandoc" 2>&1 || fail "mandoc -T lint:"$'\n'"$(cat "$tmp/mandoc")"
[[ ! -s $tmp/mandoc ]] || fail "mandoc -T lint:"$'\n'"$(cat "$tmp/mandoc")"

# The version comes from the build, not from the page's source.
head -n 5 "$page" | grep -q "^\.TH LEDWHEEL 1 .*\"ledwheel $version\"" ||
  fail "the title line does not name ledwheel $version"
grep -q '@[A-Z_]*@' "$page" && fail "unsubstituted @VARIABLE@ left in the page"

for section in NAME SYNOPSIS DESCRIPTION "THE DIALOG" "THE EDITOR" COMMANDS OPTIONS FILES \
  "EXIT STATUS" DIAGNOSTICS; do
  grep -qx "\.SH \"\?$section\"\?" "$page" || fail "no section $section"
done
# What a user looks the page up for.
# Overstrikes (bold, underline) removed.
mandoc -T ascii "$page" | sed 's/.\x08//g' >"$tmp/text"
for phrase in "IM.txt" 'errinfo.$$$' "ledwheel import" "ledwheel edit" "ledwheel render" \
  "ledwheel firmware" "ledwheel check" "--version" "CREATE IM.TXT" "SEE RESULT"; do
  grep -qF -- "$phrase" "$tmp/text" || fail "the rendered page does not mention $phrase"
done
echo "ok: $page"
