#!/usr/bin/env bash
# Checks the Debian package that tools/package made in build-package as Debian's tools and a
# software centre see it. Exits 77 (skipped) when no package has been made.
set -euo pipefail
repo=$1
shopt -s nullglob
packages=("$repo"/build-package/mp3player_*.deb)
if ((${#packages[@]} == 0)); then
    echo "No package in $repo/build-package: tools/package makes it."
    exit 77
fi
package=${packages[0]}
contents=$(mktemp -d)
trap 'rm -rf "$contents"' EXIT
dpkg-deb -x "$package" "$contents"
failures=0
fail() {
    echo "FAIL: $*"
    failures=$((failures + 1))
}

echo "== lintian --display-info --pedantic $(basename "$package")"
report=$(lintian --display-info --pedantic --fail-on none "$package") ||
    fail "lintian could not check the package"
echo "$report"
if grep -q -e '^[EW]: ' -e 'hardening-' <<<"$report"; then
    fail "lintian reports an error, a warning or a hardening feature the binary lacks"
fi

desktop="$contents/usr/share/applications/mp3player.desktop"
metainfo="$contents/usr/share/metainfo/org.tamsel.mp3player.metainfo.xml"
echo "== desktop-file-validate, appstreamcli validate --pedantic --no-net"
desktop-file-validate "$desktop" || fail "the .desktop entry does not validate"
appstreamcli validate --pedantic --no-net "$metainfo" ||
    fail "the AppStream metainfo does not validate"
# Addresses at the domains kept for examples reach nobody.
if dpkg-deb -f "$package" | cat - "$metainfo" "$contents/usr/share/doc/mp3player/copyright" \
    <(zcat "$contents/usr/share/doc/mp3player/changelog.gz") |
    grep -n -i -E '[.@]example([.]|>|$|/)|example[.](org|com|net)'; then
    fail "the package names an address at an example domain"
fi
cmp -s "$desktop" "$repo/src/app/mp3player.desktop" &&
    cmp -s "$metainfo" "$repo/src/app/org.tamsel.mp3player.metainfo.xml" ||
    fail "the package is older than the sources: run tools/package again"

echo "== what the package needs and holds"
# What the linker sees, and what only the running program asks for by name.
for needed in Depends:{libqt6widgets6,libqt6dbus6,libgstreamer1.0-0,libtag1v5} \
    Depends:gstreamer1.0-plugins-{base,good} Depends:gstreamer1.0-pulseaudio \
    Depends:fonts-{liberation2,comic-neue} Recommends:qt6-wayland; do
    field=$(dpkg-deb -f "$package" "${needed%%:*}")
    [[ ",$field," == *[\ ,]"${needed#*:}"[\ ,\(]* ]] || fail "$needed is missing from $field"
done
for side in 16 22 24 32 48 64 128 256; do
    [[ -f "$contents/usr/share/icons/hicolor/${side}x$side/apps/mp3player.png" ]] ||
        fail "no ${side}x$side icon"
done
[[ -f "$contents/usr/share/icons/hicolor/scalable/apps/mp3player.svg" ]] || fail "no scalable icon"
if readelf -S "$contents/usr/bin/mp3player" | grep -q -e '\.symtab' -e '\.debug_info'; then
    fail "the binary is not stripped"
fi

if ((failures > 0)); then
    echo "$failures check(s) failed"
    exit 1
fi
echo "== The package passes"
