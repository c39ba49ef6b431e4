#!/usr/bin/env bash
# The Debian package: its name, control fields, dependencies and files, and that the program in it
# starts on its own.
#   check_package.sh BUILD_DIR VERSION
set -euo pipefail
# shellcheck source=tests/package/common.sh
source "$(dirname "$0")/common.sh"
build=$1 version=$2
need dpkg-deb dpkg
need dpkg-shlibdeps dpkg-dev
need file file
need readelf binutils

cpack --config "$build/CPackConfig.cmake" -B "$tmp/out" >"$tmp/log" 2>&1 ||
  fail "cpack failed:"$'\n'"$(cat "$tmp/log")"
deb=$tmp/out/ledwheel_${version}_amd64.deb
[[ -f $deb ]] || fail "no $(basename "$deb"); cpack made: $(cd "$tmp/out" && ls ./*.deb 2>/dev/null)"

field() { dpkg-deb -f "$deb" "$1"; }
# field | expected value
fields=(
  "Package|ledwheel"
  "Version|$version"
  "Architecture|amd64"
  "Section|electronics"
)
for f in "${fields[@]}"; do
  [[ $(field "${f%%|*}") == "${f#*|}" ]] || fail "${f%%|*} is '$(field "${f%%|*}")', expected '${f#*|}'"
done
[[ $(field Maintainer) =~ ^.+\ \<.+@.+\>$ ]] || fail "Maintainer '$(field Maintainer)' is no 'Name <address>'"
description=$(field Description)
summary=$(head -n 1 <<<"$description")
long=$(tail -n +2 <<<"$description")
[[ -n $summary && ${#summary} -le 80 ]] || fail "short description '$summary' is empty or too long"
[[ $long == *IM.txt* ]] || fail "no long description: '$long'"
awk 'length > 80 {exit 1}' <<<"$long" || fail "long description lines over 80 characters"

# Dependencies come from the program's shared libraries: exactly these, each with a version.
depends=$(field Depends)
names=$(tr ',' '\n' <<<"$depends" | sed 's/^ *//; s/ .*//' | sort | tr '\n' ' ')
[[ $names == "libc6 libgcc-s1 libspng0 libstdc++6 libturbojpeg0 libx11-6 " ]] || fail "Depends: $depends"
[[ $(tr ',' '\n' <<<"$depends" | grep -vc '(>= ') -eq 0 ]] || fail "unversioned dependency: $depends"

# Files: the program, the manual page, the README; no tests, no benchmarks.
listing=$(dpkg-deb -c "$deb")
files=$(awk '$1 !~ /^d/ {print $6}' <<<"$listing" | sort)
want="./usr/bin/ledwheel
./usr/share/doc/ledwheel/README.md
./usr/share/man/man1/ledwheel.1"
[[ $files == "$want" ]] || fail "package files:"$'\n'"$files"
grep -q '^-rwxr-xr-x root/root .* \./usr/bin/ledwheel$' <<<"$listing" ||
  fail "the program is not root-owned mode 755"

# The program runs from the unpacked package alone: no path into the build tree, empty environment.
dpkg-deb -x "$deb" "$tmp/root"
program=$tmp/root/usr/bin/ledwheel
[[ $(readelf -d "$program") != *PATH* ]] || fail "the program carries a library path"
grep -qF "$build" "$program" && fail "the program names the build tree"
out=$(cd "$tmp" && env -i "$program" --version) || fail "the packaged program did not start"
[[ $out == "ledwheel $version" ]] || fail "the packaged program printed '$out'"

# Stripped, it still names its functions in the failure report (they are exported). Ctrl+C at the
# first question gives the report.
mkfifo "$tmp/in"
(cd "$tmp" && exec env -i "$program" <"$tmp/in" >"$tmp/dialog" 2>/dev/null) &
pid=$!
exec 3>"$tmp/in"
for _ in $(seq 200); do
  grep -q "# LED positions:" "$tmp/dialog" && break
  sleep 0.05
done
kill -INT "$pid"
status=0
wait "$pid" || status=$?
exec 3>&-
[[ $status -eq 9 ]] || fail "Ctrl+C at the dialog exited $status, expected 9"
grep -q "editor::RunDialog" "$tmp/errinfo.\$\$\$" || fail "errinfo.\$\$\$ names no function"

echo "ok: $(basename "$deb"), $(stat -c %s "$deb") bytes, installed $(field Installed-Size) KiB"
echo "Depends: $depends"
