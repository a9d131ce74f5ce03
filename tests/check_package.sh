#!/usr/bin/env bash
# Checks the Debian packages that scripts/package.sh left in the folder $1 (given by the test
# command, which builds them first); without them there is nothing to check (exit 77, skipped).
# $2 is the source tree. With CI=true, as root, the package is also installed and removed.
set -euo pipefail
packages=$1
source=$2
deb=$(ls "$packages"/ringdesk_*.deb 2>/dev/null | head -1) || true
tools=$(ls "$packages"/ringdesk-tools_*.deb 2>/dev/null | head -1) || true
contacts=$(ls "$packages"/ringdesk-desktop-contacts_*.deb 2>/dev/null | head -1) || true
if [ -z "$deb" ] || [ -z "$tools" ] || [ -z "$contacts" ]; then
    echo "no package in $packages: scripts/package.sh builds it"
    exit 77
fi
failed=0
fail() { echo "FAIL: $*"; failed=1; }

# Lintian as Debian's archive would run it: an error or a warning fails, overridden tags aside.
report=$(lintian --fail-on error,warning "$deb" "$tools" "$contacts" 2>&1) || fail "lintian"
grep -v 'root privileges' <<<"$report" || true

root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
dpkg-deb -x "$deb" "$root"
dpkg-deb -x "$tools" "$root"
dpkg-deb -x "$contacts" "$root"

# No maintainer scripts: installing and removing cannot touch anyone's settings or logs.
for package in "$deb" "$tools" "$contacts"; do
    scripts=$(dpkg-deb -I "$package" | grep -E '^ +[0-9]+ bytes.* (pre|post)(inst|rm)' || true)
    [ -z "$scripts" ] || fail "$(basename "$package") has maintainer scripts: $scripts"
done

version=$(dpkg-deb -f "$deb" Version)
# What Qt loads at run time is not linked, so dpkg-shlibdeps cannot find it: the SVG icon engine.
dpkg-deb -f "$deb" Depends | grep -qw libqt6svg6 || fail "ringdesk does not depend on libqt6svg6"
# A desktop without Evolution Data Server installs ringdesk without it; the part that uses it
# comes apart, for this very version, and carries no library search path either.
! dpkg-deb -f "$deb" Depends | grep -qE 'libebook|libecal|evolution' ||
    fail "ringdesk depends on Evolution Data Server"
dpkg-deb -f "$contacts" Depends | grep -qF "ringdesk (= $(dpkg-deb -f "$deb" Version))" ||
    fail "ringdesk-desktop-contacts does not depend on this ringdesk"
dpkg-deb -f "$contacts" Depends | grep -qw libebook-1.2-21 ||
    fail "ringdesk-desktop-contacts does not depend on libebook"
part=$(find "$root/usr/lib" -name ringdesk-desktop-contacts.so)
[ -n "$part" ] || fail "ringdesk-desktop-contacts holds no ringdesk-desktop-contacts.so"
[ -z "$part" ] || ! readelf -d "$part" | grep -qE 'R(UN)?PATH' ||
    fail "the desktop contacts part carries a library search path"
for program in "$root"/usr/bin/*; do
    name=$(basename "$program")
    page="$root/usr/share/man/man1/$name.1.gz"
    [ -f "$page" ] || { fail "$name has no manual page"; continue; }
    if head -c 4 "$program" | grep -q $'\x7fELF'; then
        file "$program" | grep -q ', stripped' || fail "$name is not stripped"
        ! readelf -d "$program" | grep -qE 'R(UN)?PATH' || fail "$name carries a library search path"
        # Every option the program offers is in its manual page (ringdesk-headless's page is
        # ringdesk's).
        text=$(zcat "$page")
        case "$text" in .so*) text=$(zcat "$root/usr/share/man/man1/${text#.so man1/}.gz") ;; esac
        options=$(env -u LD_LIBRARY_PATH QT_QPA_PLATFORM=offscreen "$program" --help 2>&1 |
            grep -oE '^ +(-[a-z], )?--[a-z-]+' | grep -oE -- '--[a-z-]+' || true)
        for option in $options; do
            grep -qF -- "${option//-/\\-}" <<<"$text" || fail "$name's manual page lacks $option"
        done
    fi
done
# The programs run from where the package puts them, with the system's libraries alone.
answer=$(env -u LD_LIBRARY_PATH "$root/usr/bin/ringdesk" --version)
[ "$answer" = "ringdesk $version" ] || fail "ringdesk --version says '$answer', not $version"

# The changelog and the AppStream releases name this version.
zcat "$root/usr/share/doc/ringdesk/changelog.gz" | head -1 | grep -qF "ringdesk ($version)" ||
    fail "the changelog's last entry is not $version"
for meta in "$root"/usr/share/metainfo/*.xml; do
    grep -qF "<release version=\"$version\"" "$meta" || fail "$(basename "$meta") lacks release $version"
done

# Every settings group the programs read is described.
manual=$(zcat "$root/usr/share/man/man1/ringdesk.1.gz")
groups=$(grep -rhoE '(text|row|whole)\((Kind::[A-Za-z]+, )?"[A-Za-z]+"' "$source/common/SettingsTable.cpp" |
    grep -oE '"[A-Za-z]+"' | tr -d '"' | sort -u)
for group in $groups Ports Contacts; do
    grep -qF "[$group]" <<<"$manual" || fail "ringdesk(1) does not describe [$group]"
done

# A desktop entry and its AppStream component name the same categories (Qt aside).
for entry in "$root"/usr/share/applications/*.desktop; do
    name=$(basename "$entry" .desktop)
    meta=$(grep -l "<launchable type=\"desktop-id\">$name.desktop<" "$root"/usr/share/metainfo/*.xml)
    desktop=$(sed -n 's/^Categories=//p' "$entry" | tr ';' '\n' | grep -v '^Qt$' | grep . | sort)
    appstream=$(grep -oP '(?<=<category>)[^<]+' "$meta" | sort)
    [ "$desktop" = "$appstream" ] || fail "$name: desktop categories $desktop, metainfo $appstream"
done
grep -q '^ExecStart=/usr/bin/ringdesk --headless$' "$root/usr/lib/systemd/user/ringdesk.service" ||
    fail "the user unit does not start /usr/bin/ringdesk"

# On CI's throw-away machine: apt resolves the dependencies dpkg-shlibdeps wrote, the installed
# program runs, and removing takes every file away.
if [ "${CI:-}" = "true" ] && [ "$(id -u)" -eq 0 ]; then
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "$deb" "$tools" "$contacts" \
        >/dev/null 2>&1 ||
        fail "apt-get cannot install the packages"
    [ "$(env -u LD_LIBRARY_PATH /usr/bin/ringdesk --version)" = "ringdesk $version" ] ||
        fail "the installed ringdesk does not run"
    dpkg -r ringdesk-desktop-contacts ringdesk-tools ringdesk >/dev/null 2>&1 ||
        fail "dpkg cannot remove the packages"
    left=$(dpkg-deb -c "$deb" | awk '{print substr($6, 2)}' | grep -v '/$' |
        while read -r f; do [ ! -e "$f" ] || echo "$f"; done)
    [ -z "$left" ] || fail "removing left $left"
    echo "installed and removed"
fi
[ "$failed" -eq 0 ] &&
    echo "packages checked: $(basename "$deb") $(basename "$tools") $(basename "$contacts")"
exit "$failed"
