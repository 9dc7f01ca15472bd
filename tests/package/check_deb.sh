#!/usr/bin/env bash

# SPDX-FileCopyrightText: 2026 Korvane developers
#
# SPDX-License-Identifier: Apache-2.0

# Builds the Debian package from a build tree and checks what it holds and what it declares; has
# lintian, desktop-file-validate and appstreamcli judge it; then lets dpkg simulate its installation
# (nothing is installed); then check_container.sh judges the container image made from it.
set -euo pipefail
build=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

(cd "$build" && cpack -G DEB -B "$work" >"$work/cpack.log" 2>&1) || { cat "$work/cpack.log"; exit 1; }
deb=$(ls "$work"/korvane_*.deb)
contents=$(dpkg-deb -c "$deb" | awk '{print $6}')
fail=0
metainfo=./usr/share/metainfo/org.korvane.korvane.metainfo.xml
for path in ./usr/bin/korvane ./usr/bin/korvane-cli ./usr/bin/harkwell ./usr/share/applications/korvane.desktop \
            ./usr/share/man/man1/korvane.1.gz ./usr/share/man/man1/korvane-cli.1.gz ./usr/share/man/man1/harkwell.1.gz \
            ./usr/lib/systemd/system/korvane-cli@.service ./usr/share/icons/hicolor/64x64/apps/korvane.png \
            ./usr/share/korvane/SAMPLE.TXT ./usr/share/korvane/KORVANE.TXT ./usr/share/korvane/korvane.ini \
            ./usr/share/korvane/korvane.html ./usr/share/doc/korvane/copyright ./usr/share/doc/korvane/changelog.gz \
            "$metainfo"; do
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

# The judges of Debian packages, desktop entries and AppStream metadata (scripts/test installs them).
for tool in lintian desktop-file-validate appstreamcli; do
    if ! command -v "$tool" >/dev/null; then
        echo "$tool is not installed (Debian packages lintian, desktop-file-utils, appstream)"
        exit 1
    fi
done
root="$work/root"
dpkg-deb -x "$deb" "$root"
version=$(dpkg-deb -f "$deb" Version)
logged=$(zcat "$root/usr/share/doc/korvane/changelog.gz" | sed -n '1s/^korvane (\([^)]*\)).*/\1/p')
if [ "$logged" != "$version" ]; then
    echo "the changelog's latest entry is for version '$logged', the package is $version"
    fail=1
fi
if ! grep -q "<release version=\"$version\"" "$root/$metainfo"; then
    echo "the AppStream metadata names no release $version"
    fail=1
fi
# Errors and warnings fail the check; the placeholder maintainer address draws none, so it is said here.
if ! lintian --fail-on error,warning "$deb" >"$work/lintian.log" 2>&1; then
    cat "$work/lintian.log"
    echo "lintian finds errors or warnings in the package (or could not judge it)"
    fail=1
fi
if dpkg-deb -f "$deb" Maintainer | grep -q '@example\.invalid>'; then
    echo "note: the maintainer address is the placeholder; set KORVANE_PACKAGE_MAINTAINER"
fi
desktop=$(desktop-file-validate "$root/usr/share/applications/korvane.desktop" 2>&1) || fail=1
if [ -n "$desktop" ]; then
    echo "$desktop"
    fail=1
fi
if ! appstreamcli validate --no-net --pedantic "$root/$metainfo" >"$work/appstream.log" 2>&1 ||
   grep -qE '^[EWIP]: ' "$work/appstream.log"; then
    cat "$work/appstream.log"
    fail=1
fi

if command -v dpkg >/dev/null && [ "$(id -u)" -eq 0 ]; then
    dpkg --dry-run --install "$deb" >"$work/dpkg.log" 2>&1 || { cat "$work/dpkg.log"; fail=1; }
fi
[ $fail -eq 0 ] && echo "package $(basename "$deb") holds every file, declares its dependencies and passes lintian"
# The container image and the Kubernetes example that install it.
"$(dirname "$0")/check_container.sh" "$deb" "$build" || fail=1
exit $fail
