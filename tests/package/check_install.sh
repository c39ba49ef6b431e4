#!/usr/bin/env bash
# cmake --install puts exactly the program, its manual page and the README under DESTDIR/PREFIX.
#   check_install.sh BUILD_DIR VERSION
set -euo pipefail
# shellcheck source=tests/package/common.sh
source "$(dirname "$0")/common.sh"
build=$1 version=$2

# prefix given ("" for the configured default) | where the files must land
cases=(
  "|/usr/local"
  "/opt/ledwheel-test-$$|/opt/ledwheel-test-$$"
)
for c in "${cases[@]}"; do
  prefix=${c%%|*} lands=${c#*|}
  stage=$tmp/stage$RANDOM
  args=()
  [[ -n $prefix ]] && args=(--prefix "$prefix")
  DESTDIR=$stage cmake --install "$build" "${args[@]}" >"$tmp/log" 2>&1 ||
    fail "cmake --install ${args[*]} failed: $(cat "$tmp/log")"
  got=$(cd "$stage" && find . ! -type d | sort)
  want=".$lands/bin/ledwheel
.$lands/share/doc/ledwheel/README.md
.$lands/share/man/man1/ledwheel.1"
  [[ $got == "$want" ]] || fail "installed with '${args[*]}':"$'\n'"$got"$'\n'"expected:"$'\n'"$want"
  [[ -x $stage$lands/bin/ledwheel ]] || fail "the installed program is not executable"
  grep -q "ledwheel $version" "$stage$lands/share/man/man1/ledwheel.1" ||
    fail "the installed manual page does not name version $version"
  out=$(cd "$tmp" && env -i "$stage$lands/bin/ledwheel" --version) ||
    fail "the installed program did not start"
  [[ $out == "ledwheel $version" ]] || fail "the installed program printed '$out'"
done
# DESTDIR was honoured: nothing landed under the real prefix.
[[ ! -e /opt/ledwheel-test-$$ ]] || fail "files were installed outside DESTDIR"
echo "ok: installed files"
