#!/usr/bin/env bash
# Checks what a volunteer installs: the packages hold a statically linked
# program (threads included) and the man page, `cmake --install` with a
# DESTDIR puts everything where GNUInstallDirs says, the man page renders
# without a single groff warning, and the .deb installs with dpkg, runs the
# demo from /usr/bin and removes cleanly. Must run as root or with sudo
# (dpkg -i); takes two to four minutes on two cores, mostly the build.
set -euo pipefail
cd "$(dirname "$0")/.."
root="$(pwd)"
scripts/install-deps.sh package
SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO="sudo"

fail() { echo "ci-package: $*"; exit 1; }

rm -rf build-package
make package
binary=build-package/quarrow
if readelf -d "$binary" | grep -q NEEDED; then fail "$binary is linked dynamically"; fi

scratch="$(mktemp -d)"
cleanup() {
  if dpkg -s quarrow >/dev/null 2>&1; then $SUDO dpkg -r quarrow >/dev/null; fi
  rm -rf "$scratch"
}
trap cleanup EXIT

# The static program with two threads must find what one thread finds.
scripts/demo.sh "$binary" "$scratch/one" >/dev/null
(cd "$scratch" && mkdir two && cp "$root/examples/Vesk.dat" two/ &&
  cd two && "$root/$binary" -t 2 -f 1000000000000 1000050000000 </dev/null >/dev/null) ||
  fail "the static program failed with two threads"
for file in fact.txt factexcl.txt factrange.txt; do
  cmp -s <(cat "$scratch/one/$file" 2>/dev/null) <(cat "$scratch/two/$file" 2>/dev/null) ||
    fail "$file differs between one and two threads"
done

# Install into a scratch DESTDIR.
dest="$scratch/dest"
DESTDIR="$dest" cmake --install build-package --prefix /usr >/dev/null
for file in usr/bin/quarrow usr/share/man/man1/quarrow.1 usr/share/doc/quarrow/README.md \
  usr/share/doc/quarrow/examples/Vesk.dat; do
  [ -f "$dest/$file" ] || fail "make install left out $file"
done
warnings="$(groff -man -ww -Tutf8 "$dest/usr/share/man/man1/quarrow.1" 2>&1 >/dev/null)"
[ -z "$warnings" ] || fail "groff warns on the man page: $warnings"

# The tarball holds the program, the man page and the README.
tarball="$(ls build-package/quarrow-*.tar.gz)"
listing="$(tar -tzf "$tarball")"
for file in bin/quarrow share/man/man1/quarrow.1 share/doc/quarrow/README.md; do
  grep -q "/$file\$" <<<"$listing" || fail "$tarball lacks $file"
done

# The .deb: install, run the demo with the installed program, remove.
deb="$(ls build-package/quarrow_*.deb)"
dpkg -s quarrow >/dev/null 2>&1 && fail "a quarrow package is installed already; not touching it"
$SUDO dpkg -i "$deb" >/dev/null
[ "$(/usr/bin/quarrow --version)" = "quarrow v0.36" ] || fail "/usr/bin/quarrow --version"
scripts/demo.sh /usr/bin/quarrow "$scratch/installed"
$SUDO dpkg -r quarrow >/dev/null
[ ! -e /usr/bin/quarrow ] || fail "dpkg -r left /usr/bin/quarrow"
echo "ci-package: packages, install and man page checked"
