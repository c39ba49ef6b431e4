# shellcheck shell=bash
# Shared by the package checks: failure messages and a temporary directory removed on exit.
fail() {
  echo "FAIL: $*" >&2
  exit 1
}
need() {  # tool, Debian package
  command -v "$1" >/dev/null || fail "$1 is missing (apt-get install $2)"
}
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
