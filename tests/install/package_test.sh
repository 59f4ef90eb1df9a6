#!/usr/bin/env bash
# package_test.sh BUILD: the Debian package holds the programs, manual pages
# and copyright file, installs, runs from /usr/bin and leaves nothing behind
# once removed; the Windows zip, where built, holds both programs.
set -euo pipefail
deb=$(ls "$1"/tarvolt_*.deb)
contents=$(dpkg-deb -c "$deb")
for f in ./usr/bin/tarvolt ./usr/bin/qrvinfo ./usr/share/man/man1/tarvolt.1 ./usr/share/man/man1/qrvinfo.1 \
         ./usr/share/doc/tarvolt/copyright; do
  grep -q " $f\$" <<<"$contents" || { echo "package_test: $f is not in $deb"; exit 1; }
done
zip=$(ls build-package-win64/tarvolt-*-win64.zip 2>/dev/null || true)
if [ -n "$zip" ]; then
  listing=$(python3 -m zipfile -l "$zip")
  for f in tarvolt.exe qrvinfo.exe README.md LICENSE; do
    grep -q "/$f " <<<"$listing" || { echo "package_test: $f is not in $zip"; exit 1; }
  done
fi
if [ "$(id -u)" != 0 ]; then
  echo "package_test: skipped installing the package: not root"; exit 0
fi
if dpkg-query -W tarvolt >/dev/null 2>&1 || [ -e /usr/bin/tarvolt ]; then
  echo "package_test: skipped installing the package: tarvolt is installed already"; exit 0
fi
dpkg -i "$deb" >/dev/null
files=$(dpkg -L tarvolt)
/usr/bin/tarvolt --version </dev/null | grep -q '^version ' || { echo "package_test: /usr/bin/tarvolt --version failed"; exit 1; }
man -w tarvolt >/dev/null 2>&1 || [ -e /usr/share/man/man1/tarvolt.1 ]
dpkg -r tarvolt >/dev/null
for f in $files; do
  if [ -f "$f" ]; then echo "package_test: $f is left after removal"; exit 1; fi
done
echo "package_test: installed, ran /usr/bin/tarvolt and removed it without leftovers"
