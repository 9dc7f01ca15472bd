#!/usr/bin/env bash
# Builds the Debian package from a build tree and checks what it holds and what it declares,
# then lets dpkg simulate its installation (nothing is installed).
set -euo pipefail
build=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

(cd "$build" && cpack -G DEB -B "$work" >"$work/cpack.log" 2>&1) || { cat "$work/cpack.log"; exit 1; }
deb=$(ls "$work"/korvane_*.deb)
contents=$(dpkg-deb -c "$deb" | awk '{print $6}')
fail=0
for path in ./usr/bin/korvane ./usr/bin/korvane-cli ./usr/bin/harkwell ./usr/share/applications/korvane.desktop \
            ./usr/share/man/man1/korvane-cli.1 ./usr/share/man/man1/harkwell.1 ./usr/lib/systemd/system/korvane-cli@.service \
            ./usr/share/icons/hicolor/64x64/apps/korvane.png ./usr/share/korvane/SAMPLE.TXT \
            ./usr/share/korvane/KORVANE.TXT ./usr/share/korvane/korvane.ini ./usr/share/korvane/korvane.html; do
    if ! grep -qxF "$path" <<<"$contents"; then
        echo "missing from the package: $path"
        fail=1
    fi
done
depends=$(dpkg-deb -f "$deb" Depends)
for dep in libqt6widgets6 libqt6network6 fonts-dejavu-core qt6-qpa-plugins; do
    if ! grep -q "$dep" <<<"$depends"; then
        echo "not declared as a dependency: $dep (Depends: $depends)"
        fail=1
    fi
done
if command -v dpkg >/dev/null && [ "$(id -u)" -eq 0 ]; then
    dpkg --dry-run --install "$deb" >"$work/dpkg.log" 2>&1 || { cat "$work/dpkg.log"; fail=1; }
fi
[ $fail -eq 0 ] && echo "package $(basename "$deb") holds every file and declares its dependencies"
exit $fail
